#pragma once

// Which of the modifiers that the device layer watches are held, from the
// server's key state. Pure logic.

#include <array>
#include <cstdint>
#include <vector>

namespace obx::x11 {

// The keycodes of Shift, Ctrl and Alt, found once from each keycode's
// unshifted keysym, and which of them an XQueryKeymap vector holds down.
// Reading allocates nothing, so it can run on every poll.
class ModifierKeycodes {
public:
    explicit ModifierKeycodes(const std::vector<unsigned long>& keysymOfKeycode);

    std::uint32_t pressed(const char keys[32]) const;

private:
    struct Watched {
        std::uint32_t modifier;
        std::array<unsigned char, 32> keys; // bit per keycode, as XQueryKeymap
    };
    std::array<Watched, 3> watched_;
};

} // namespace obx::x11
