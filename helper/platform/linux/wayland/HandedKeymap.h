#pragma once

// The keymap a compositor hands every client with wl_keyboard.keymap.

#include <cstdint>
#include <string>
#include <string_view>

namespace obx::wayland {

// A keymap handed over is at most this large (a full keymap of several
// layouts is well under 200 KiB).
inline constexpr std::uint32_t maxKeymapSize = 1 << 20;

// The keymap's text, read from the file handed over, which is closed. Empty
// when it is no XKB text keymap, larger than maxKeymapSize or unreadable;
// that is logged with the reader's name first.
std::string readHandedKeymap(std::uint32_t format, std::int32_t fd, std::uint32_t size,
                             std::string_view reader);

} // namespace obx::wayland
