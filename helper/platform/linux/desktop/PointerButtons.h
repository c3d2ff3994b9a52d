#pragma once

// The buttons as the actions name them (left 1, right 2, middle 4) and the
// evdev codes that Wayland's input protocols take.

#include <cstdint>
#include <optional>

namespace obx::linuxos {

inline std::optional<std::uint32_t> evdevButton(std::uint32_t buttonMask) {
    switch (buttonMask) {
    case 1:
        return 0x110; // BTN_LEFT
    case 2:
        return 0x111; // BTN_RIGHT
    case 4:
        return 0x112; // BTN_MIDDLE
    default:
        return std::nullopt;
    }
}

} // namespace obx::linuxos
