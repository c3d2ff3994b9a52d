#include "actions/Modifiers.h"

#include "actions/LowerCase.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>
#include <string_view>

namespace obx {

namespace {

struct ModifierName {
    std::uint32_t bit;
    std::string_view name;
};

// The order of the text form.
constexpr std::array<ModifierName, 4> modifierNames{{
    {modifierAlt, "alt"},
    {modifierCtrl, "ctrl"},
    {modifierShift, "shift"},
    {modifierWin, "win"},
}};

std::string trimmedLowerCase(const std::string& piece) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    const auto first = std::find_if_not(piece.begin(), piece.end(), isSpace);
    const auto last = std::find_if_not(piece.rbegin(), piece.rend(), isSpace).base();
    return lowerCase(std::string(first, std::max(first, last)));
}

} // namespace

std::string modifiersToString(std::uint32_t modifiers) {
    std::string text;
    for (const auto& modifier : modifierNames) {
        if ((modifiers & modifier.bit) != 0) {
            if (!text.empty()) {
                text += ',';
            }
            text += modifier.name;
        }
    }
    return text;
}

std::uint32_t modifiersFromString(const std::string& text) {
    std::uint32_t modifiers = 0;
    std::istringstream pieces(text);
    std::string piece;
    while (std::getline(pieces, piece, ',')) {
        const auto name = trimmedLowerCase(piece);
        for (const auto& modifier : modifierNames) {
            if (name == modifier.name) {
                modifiers |= modifier.bit;
            }
        }
    }
    return modifiers;
}

} // namespace obx
