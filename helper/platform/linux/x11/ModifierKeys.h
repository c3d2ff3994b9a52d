#pragma once

// Which of the modifiers that the device layer watches are held, from the
// server's key state. Pure logic.

#include <cstdint>
#include <vector>

namespace obx::x11 {

// The Shift, Ctrl and Alt bits for the pressed keys of an XQueryKeymap
// vector, given each keycode's unshifted keysym.
std::uint32_t modifiersFromKeys(const char keys[32], const std::vector<unsigned long>& keysymOfKeycode);

} // namespace obx::x11
