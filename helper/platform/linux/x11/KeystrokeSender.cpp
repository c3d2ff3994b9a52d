#include "platform/linux/x11/KeystrokeSender.h"

#include "base/Log.h"
#include "platform/linux/x11/VirtualKeys.h"
#include "platform/linux/x11/XConnection.h"
#include "platform/linux/x11/XTestInput.h"

namespace obx::x11 {

void KeystrokeSender::send(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                           bool modifiersOnly) const {
    std::vector<KeyEvent> events;
    for (const std::uint16_t virtualKey : keystrokeSequence(modifiers, keyCode, down, modifiersOnly)) {
        const KeySymbol keysym = keysymForVirtualKey(virtualKey);
        const KeyCode code = keysym == NoSymbol ? 0 : XKeysymToKeycode(display_, keysym);
        if (code == 0) {
            // A press and its release are separate calls, so a key cannot be
            // lent for the moment as typed text does: the key is left out.
            log(LogLevel::warning, "KeystrokeSender::send - no key for virtual key 0x", Hex{virtualKey});
            continue;
        }
        events.push_back({code, down});
    }
    if (events.empty()) {
        return;
    }
    const ServerGrab grab(display_);
    XTestInput(display_).send(events);
}

} // namespace obx::x11
