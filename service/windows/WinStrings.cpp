#include "service/windows/WinStrings.h"

namespace obx::win {

std::optional<std::u16string> ResourceStrings::load(int id) {
    // With no buffer, LoadStringW points into the resource itself; the
    // buffer's cut is the caller's.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module_, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) {
        return std::nullopt;
    }
    return std::u16string(text, text + length);
}

} // namespace obx::win
