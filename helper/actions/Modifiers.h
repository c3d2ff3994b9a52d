#pragma once

// Modifier masks (0x01 shift, 0x04 ctrl, 0x10 alt, 0x40 win; 0x02 the
// applications key, which has no text name) and their text form in JSON.

#include <cstdint>
#include <optional>
#include <string>

namespace obx {

inline constexpr std::uint32_t modifierShift = 0x01;
inline constexpr std::uint32_t modifierApps = 0x02;
inline constexpr std::uint32_t modifierCtrl = 0x04;
inline constexpr std::uint32_t modifierAlt = 0x10;
inline constexpr std::uint32_t modifierWin = 0x40;

// "alt,ctrl,shift,win" order, only the named bits; "" for none of them.
std::string modifiersToString(std::uint32_t modifiers);

// Tolerant: pieces are trimmed and lower-cased, unknown pieces add nothing.
std::uint32_t modifiersFromString(const std::string& text);

// Strict, for forms no older client wrote: names joined by commas, trimmed,
// in any case and order; "" is none. Absent when a piece names no modifier.
std::optional<std::uint32_t> modifiersFromStrictString(const std::string& text);

} // namespace obx
