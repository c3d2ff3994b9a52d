#pragma once

// A snippet as GNOME can type it: the characters some path can deliver, each
// with the keysym that types it. Pure logic.

#include "platform/linux/wayland/SessionKeys.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace obx::gnome {

struct GnomeText {
    std::u32string characters;          // the deliverable ones, in order
    std::string utf8;                   // the same as UTF-8
    std::vector<std::uint32_t> keysyms; // one per character; a line break is Return
    // Control characters no key types (all but line break, tab, backspace,
    // escape and delete), left out above.
    std::u32string undeliverable;
};

GnomeText gnomeText(std::u32string_view codePoints);

// The characters whose keysym no key of the layout gives, each once, in order.
std::u32string missingFromLayout(const GnomeText& text, const wayland::SessionKeys& layout);

// "U+4E16 U+754C" for the log.
std::string codePointNames(std::u32string_view codePoints);

} // namespace obx::gnome
