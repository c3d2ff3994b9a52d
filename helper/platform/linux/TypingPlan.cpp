#include "platform/linux/TypingPlan.h"

#include <X11/X.h>
#include <algorithm>

namespace obx::x11 {

std::optional<std::u32string> decodeUtf8(std::string_view text) {
    std::u32string result;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            value = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
            minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + length > text.size()) {
            return std::nullopt;
        }
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            value = (value << 6) | (next & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return std::nullopt;
        }
        result.push_back(value);
        i += length;
    }
    return result;
}

KeySymbol keysymForCodePoint(char32_t codePoint) {
    if (codePoint < 0x20) {
        return 0xFF00 | codePoint;
    }
    if (codePoint == 0x7F) {
        return 0xFFFF;
    }
    if (codePoint < 0x7F || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return codePoint;
    }
    return 0x01000000 | codePoint;
}

std::vector<TypingRound> planTyping(const std::vector<KeySymbol>& keysyms, const KeyLookup& lookup,
                                    const std::vector<unsigned>& spareKeycodes) {
    std::vector<TypingRound> rounds(1);
    for (const KeySymbol keysym : keysyms) {
        if (const auto position = lookup(keysym)) {
            rounds.back().taps.push_back(*position);
            continue;
        }
        if (spareKeycodes.empty()) {
            continue;
        }
        auto& lent = rounds.back().lent;
        auto found =
            std::find_if(lent.begin(), lent.end(), [&](const auto& entry) { return entry.second == keysym; });
        if (found == lent.end()) {
            if (lent.size() == spareKeycodes.size()) {
                rounds.emplace_back();
            }
            auto& current = rounds.back().lent;
            current.emplace_back(spareKeycodes[current.size()], keysym);
            found = current.end() - 1;
        }
        rounds.back().taps.push_back(KeyPosition{found->first, false});
    }
    if (rounds.back().taps.empty()) {
        rounds.pop_back();
    }
    return rounds;
}

} // namespace obx::x11
