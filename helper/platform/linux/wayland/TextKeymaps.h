#pragma once

// Exact text on a virtual keyboard: every character gets a key of its own in
// keymaps made for the text. Pure logic, no compositor needed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace obx::wayland {

// The keycodes section's name in every keymap made here, so that the helper
// tells its own keymaps from the session's when the compositor hands them
// back.
inline constexpr std::string_view textKeymapName = "obx-text";

// The keysym that types the character, or none (XKB_KEY_NoSymbol, 0). A line
// break is the Return key; every other keysym gives back the very character.
std::uint32_t keysymFor(char32_t codePoint);

// One stretch of the text on one keymap: the keymap's source, and the keys
// (evdev codes, as the virtual keyboard takes them) to tap in order.
struct TextStretch {
    std::string keymap;
    std::vector<std::uint32_t> keys;
};

struct TextKeymaps {
    std::vector<TextStretch> stretches;
    // Characters no key can produce (control characters other than line
    // breaks, tab, backspace, escape and delete), left out of the stretches.
    std::u32string undeliverable;
};

// At most keysPerKeymap distinct characters share a keymap (programs of the
// X protocol through Xwayland see keycodes up to 255 only); a longer variety
// goes on in the next stretch.
TextKeymaps textKeymaps(std::u32string_view text, std::size_t keysPerKeymap = 200);

// "U+00E9" for the log.
std::string codePointName(char32_t codePoint);

} // namespace obx::wayland
