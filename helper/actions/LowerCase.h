#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace obx {

// ASCII lower case: the names compared this way (modifiers, directions,
// flags) are all ASCII, and other bytes must pass through unchanged.
inline std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace obx
