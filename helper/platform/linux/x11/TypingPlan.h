#pragma once

// How a line of text becomes key taps: characters that the keyboard map has
// are typed with their own keys, the others with spare keycodes lent for the
// moment. Pure logic, no display needed.

#include "platform/linux/x11/KeyPosition.h"
#include "platform/linux/x11/VirtualKeys.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace obx::x11 {

// Code points of UTF-8 text; nothing when the text is not valid UTF-8
// (overlong forms, surrogates and values above U+10FFFF included).
std::optional<std::u32string> decodeUtf8(std::string_view text);

// The keysym that produces the character: Latin-1 has its own keysyms, the
// control characters are the function keys of the same low byte (Tab,
// Return, Escape, ...), everything else is a Unicode keysym.
KeySymbol keysymForCodePoint(char32_t codePoint);

// One run of taps under one temporary mapping of spare keycodes.
struct TypingRound {
    std::vector<std::pair<unsigned, KeySymbol>> lent; // spare keycode, keysym it carries meanwhile
    std::vector<KeyPosition> taps;
};

using KeyLookup = std::function<std::optional<KeyPosition>(KeySymbol)>;

// The rounds that type the keysyms in order. A round ends when every spare
// keycode is lent and another missing keysym comes. Without spare keycodes a
// missing keysym cannot be typed and is left out.
std::vector<TypingRound> planTyping(const std::vector<KeySymbol>& keysyms, const KeyLookup& lookup,
                                    const std::vector<unsigned>& spareKeycodes);

} // namespace obx::x11
