#pragma once

// UTF-16 as the Windows API spells it, and back to the UTF-8 of the
// portable logic.

#include "service/PopupTexts.h"

#include <string>

namespace obx::win {

inline std::wstring wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::wstring wide(std::string_view utf8) {
    return wide(utf8ToUtf16(utf8));
}

inline std::string narrow(std::wstring_view text) {
    return utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

} // namespace obx::win
