#include "platform/linux/x11/ModifierKeys.h"

#include "devices/DesktopQueries.h"

#include <X11/keysym.h>

namespace obx::x11 {

namespace {

std::uint32_t modifierOf(unsigned long keysym) {
    switch (keysym) {
    case XK_Shift_L:
    case XK_Shift_R:
        return desktopModifierShift;
    case XK_Control_L:
    case XK_Control_R:
        return desktopModifierCtrl;
    case XK_Alt_L:
    case XK_Alt_R:
        return desktopModifierAlt;
    default:
        return 0;
    }
}

} // namespace

ModifierKeycodes::ModifierKeycodes(const std::vector<unsigned long>& keysymOfKeycode)
    : watched_{{{desktopModifierShift, {}}, {desktopModifierCtrl, {}}, {desktopModifierAlt, {}}}} {
    for (std::size_t code = 0; code < keysymOfKeycode.size() && code < 256; ++code) {
        const auto modifier = modifierOf(keysymOfKeycode[code]);
        for (auto& watched : watched_) {
            if (watched.modifier == modifier) {
                watched.keys[code / 8] =
                    static_cast<unsigned char>(watched.keys[code / 8] | (1u << (code % 8)));
            }
        }
    }
}

std::uint32_t ModifierKeycodes::pressed(const char keys[32]) const {
    std::uint32_t state = 0;
    for (const auto& watched : watched_) {
        for (std::size_t byte = 0; byte < watched.keys.size(); ++byte) {
            if (static_cast<unsigned char>(keys[byte]) & watched.keys[byte]) {
                state |= watched.modifier;
                break;
            }
        }
    }
    return state;
}

} // namespace obx::x11
