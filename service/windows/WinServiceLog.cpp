#include "service/windows/WinServiceLog.h"

#include "service/windows/WinText.h"

#include <memory>
#include <vector>

// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
// clang-format on

namespace obx::win {

namespace {

constexpr const wchar_t* logName = L"obxsvc.log";

std::wstring withSeparator(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder;
}

struct LocalFree {
    void operator()(void* memory) const { ::LocalFree(memory); }
};

} // namespace

bool LogFolders::runsAsLocalSystem() const {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    const bool known = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    return known && IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, WinLocalSystemSid);
}

std::wstring LogFolders::programData() const {
    wchar_t folder[MAX_PATH];
    return SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK
               ? std::wstring(folder)
               : std::wstring();
}

std::wstring LogFolders::temporary() const {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

bool LogFolders::createFolder(const std::wstring& path, const wchar_t* sddl, bool& exists) const {
    exists = false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    const std::unique_ptr<void, LocalFree> owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    if (CreateDirectoryW(path.c_str(), &attributes)) {
        return true;
    }
    exists = GetLastError() == ERROR_ALREADY_EXISTS;
    return false;
}

bool LogFolders::ownedBySystemOrAdministrators(const std::wstring& path) const {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                              nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const std::unique_ptr<void, LocalFree> owned(descriptor);
    return owner != nullptr &&
           (IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
}

const LogFolders& LogFolders::system() {
    static const LogFolders folders;
    return folders;
}

std::wstring serviceLogPath(const LogFolders& folders) {
    if (!folders.runsAsLocalSystem()) {
        const auto temporary = folders.temporary();
        return temporary.empty() ? temporary : withSeparator(temporary) + logName;
    }
    const auto programData = folders.programData();
    if (programData.empty()) {
        return {};
    }
    std::wstring folder = withSeparator(programData);
    for (const wchar_t* name : {L"Ombrix", L"Logs"}) {
        folder += name;
        bool exists = false;
        if (!folders.createFolder(folder, kLogFolderAccess, exists) &&
            !(exists && folders.ownedBySystemOrAdministrators(folder))) {
            OutputDebugStringW(
                (L"obxsvc: no log file: " + folder + L" cannot be made, or another account owns it\n")
                    .c_str());
            return {};
        }
        folder += L'\\';
    }
    return folder + logName;
}

std::wstring WinServiceLogFile::defaultPath() {
    return serviceLogPath(LogFolders::system());
}

void WinServiceLogFile::write(std::string_view text) {
    OutputDebugStringW(wide(text).c_str());
    if (!pathKnown_) {
        path_ = serviceLogPath(folders_);
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
