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

namespace {

// The mask of the named pieces; absent when strict and a piece names none.
std::optional<std::uint32_t> readModifiers(const std::string& text, bool strict) {
    std::uint32_t modifiers = 0;
    std::istringstream pieces(text);
    std::string piece;
    while (std::getline(pieces, piece, ',')) {
        const auto name = trimmedLowerCase(piece);
        const auto known = std::find_if(modifierNames.begin(), modifierNames.end(),
                                        [&](const ModifierName& modifier) { return name == modifier.name; });
        if (known != modifierNames.end()) {
            modifiers |= known->bit;
        } else if (strict) {
            return std::nullopt;
        }
    }
    return modifiers;
}

} // namespace

std::uint32_t modifiersFromString(const std::string& text) {
    return *readModifiers(text, false);
}

std::optional<std::uint32_t> modifiersFromStrictString(const std::string& text) {
    return readModifiers(text, true);
}

} // namespace obx
