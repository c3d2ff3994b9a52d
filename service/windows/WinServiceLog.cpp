#include "service/windows/WinServiceLog.h"

#include "service/windows/WinText.h"

#include <windows.h>

namespace obx::win {

std::wstring WinServiceLogFile::defaultPath() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    std::wstring path(folder, length);
    if (path.back() != L'\\') {
        path += L'\\';
    }
    return path + L"obxsvc.log";
}

void WinServiceLogFile::write(std::string_view text) {
    OutputDebugStringW(wide(text).c_str());
    if (!pathKnown_) {
        path_ = defaultPath();
        pathKnown_ = true;
    }
    if (path_.empty()) {
        return;
    }
    const HANDLE file = CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace obx::win
