#include "platform/linux/x11/XTestInput.h"

#include <X11/extensions/XTest.h>

namespace obx::x11 {

void XTestInput::send(const std::vector<KeyEvent>& events) const {
    for (const auto& event : events) {
        XTestFakeKeyEvent(display_, event.code, event.down ? True : False, CurrentTime);
    }
}

void XTestInput::sendButton(unsigned button, bool down) const {
    XTestFakeButtonEvent(display_, button, down ? True : False, CurrentTime);
}

} // namespace obx::x11
