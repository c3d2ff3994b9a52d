#pragma once

#include <algorithm>
#include <string>

namespace obx {

// Lowers A to Z only, whatever the process locale: the names compared this
// way are ASCII, and every other byte (UTF-8 among them) must pass unchanged.
inline std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

} // namespace obx
