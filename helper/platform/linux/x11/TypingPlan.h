#pragma once

// What a line of text is as keysyms. Pure logic, no display needed.

#include "platform/linux/x11/VirtualKeys.h"

#include <optional>
#include <string>
#include <string_view>

namespace obx::x11 {

// Code points of UTF-8 text; nothing when the text is not valid UTF-8
// (overlong forms, surrogates and values above U+10FFFF included).
std::optional<std::u32string> decodeUtf8(std::string_view text);

// The keysym that produces the character: Latin-1 has its own keysyms, the
// control characters are the function keys of the same low byte (Tab,
// Return, Escape, ...), everything else is a Unicode keysym.
KeySymbol keysymForCodePoint(char32_t codePoint);

} // namespace obx::x11
