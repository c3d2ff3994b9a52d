#include "platform/linux/x11/TypingPlan.h"

#include <X11/X.h>
#include <algorithm>
#include <boost/locale/encoding_utf.hpp>

namespace obx::x11 {

std::optional<std::u32string> decodeUtf8(std::string_view text) {
    try {
        return boost::locale::conv::utf_to_utf<char32_t>(text.data(), text.data() + text.size(),
                                                         boost::locale::conv::stop);
    } catch (const boost::locale::conv::conversion_error&) {
        return std::nullopt;
    }
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
