#include "platform/windows/shell/InstallerQuitSignal.h"

#include "base/Log.h"

#include <vector>

// <windows.h> first: the security headers build on it.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

namespace obx::windows {

namespace {

// The system and administrators may do all; interactive users may wait on it.
constexpr wchar_t eventSecurity[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;IU)";

std::vector<BYTE> tokenUser() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
        user.clear();
    }
    ::CloseHandle(token);
    return user;
}

// Whether the event's owner is this process's user: one made by anybody else first may be set by them.
bool ownedByThisUser(HANDLE event) {
    const auto user = tokenUser();
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (user.empty() || ::GetSecurityInfo(event, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                          nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool same = ::EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid) != FALSE;
    ::LocalFree(descriptor);
    return same;
}

} // namespace

InstallerQuitSignal::InstallerQuitSignal() {
    DWORD session = 0;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session) ||
        !::ConvertStringSecurityDescriptorToSecurityDescriptorW(eventSecurity, SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
        log(LogLevel::warning, "Cannot make the installer's quit signal, error ", ::GetLastError());
        return;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    event_ = ::CreateEventW(&attributes, TRUE, FALSE, installerQuitEventName(session).c_str());
    const DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    if (event_ && error == ERROR_ALREADY_EXISTS && !ownedByThisUser(event_)) {
        log(LogLevel::warning,
            "The installer's quit signal of this session was made by another user: ignored");
        ::CloseHandle(event_);
        event_ = nullptr;
    } else if (!event_) {
        log(LogLevel::warning, "Cannot make the installer's quit signal, error ", error);
    }
}

InstallerQuitSignal::~InstallerQuitSignal() {
    if (event_) {
        ::CloseHandle(event_);
    }
}

} // namespace obx::windows
