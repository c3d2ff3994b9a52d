#include "platform/linux/x11/ModifierKeys.h"

#include "devices/DesktopQueries.h"

#include <X11/keysym.h>

namespace obx::x11 {

std::uint32_t modifiersFromKeys(const char keys[32], const std::vector<unsigned long>& keysymOfKeycode) {
    std::uint32_t state = 0;
    for (std::size_t code = 0; code < keysymOfKeycode.size() && code < 256; ++code) {
        if (!(static_cast<unsigned char>(keys[code / 8]) & (1u << (code % 8)))) {
            continue;
        }
        switch (keysymOfKeycode[code]) {
        case XK_Shift_L:
        case XK_Shift_R:
            state |= desktopModifierShift;
            break;
        case XK_Control_L:
        case XK_Control_R:
            state |= desktopModifierCtrl;
            break;
        case XK_Alt_L:
        case XK_Alt_R:
            state |= desktopModifierAlt;
            break;
        default:
            break;
        }
    }
    return state;
}

} // namespace obx::x11
