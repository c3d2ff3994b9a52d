#pragma once

// The key codes that settings and macros carry are Windows virtual-key codes;
// X speaks keysyms. Pure functions, no display needed.

#include <cstdint>
#include <vector>

namespace obx::x11 {

using KeySymbol = unsigned long; // X's KeySym, without pulling Xlib into every user

// The keysym of the key that the virtual key names; 0 (NoSymbol) for a code
// that names no key.
KeySymbol keysymForVirtualKey(std::uint16_t virtualKey);

// Modifier mask bits as the settings carry them.
inline constexpr std::uint16_t modifierShift = 0x01;
inline constexpr std::uint16_t modifierApps = 0x02;
inline constexpr std::uint16_t modifierCtrl = 0x04;
inline constexpr std::uint16_t modifierAlt = 0x10;
inline constexpr std::uint16_t modifierWin = 0x40;

// The virtual keys of one keystroke call, in the order they go out: on a
// press the modifiers and then the key, on a release the key and then the
// modifiers, the modifiers always as Shift, Ctrl, Alt, Win, Applications.
std::vector<std::uint16_t> keystrokeSequence(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                                             bool modifiersOnly);

} // namespace obx::x11
