#include "WindowsHelperControl.h"

#include "platform/windows/shell/InstallerQuitEventName.h"

#include <tlhelp32.h>
#include <userenv.h>

namespace obx::setup {

HANDLE WindowsUserTokens::shellToken() {
    DWORD shellProcess = 0;
    if (HWND shell = GetShellWindow())
        GetWindowThreadProcessId(shell, &shellProcess);
    if (shellProcess == 0)
        return nullptr;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellProcess);
    if (process == nullptr)
        return nullptr;
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_DUPLICATE | TOKEN_QUERY, &token))
        token = nullptr;
    CloseHandle(process);
    return token;
}

HANDLE WindowsUserTokens::ownToken() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token))
        return nullptr;
    return token;
}

TOKEN_ELEVATION_TYPE WindowsUserTokens::elevationType(HANDLE token) {
    TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenElevationType, &elevation, sizeof elevation, &size))
        return TokenElevationTypeDefault;
    return elevation;
}

HANDLE WindowsUserTokens::linkedToken(HANDLE token) {
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size))
        return nullptr;
    return linked.LinkedToken;
}

DWORD WindowsUserTokens::start(HANDLE token, const std::wstring& program, const std::wstring& folder) {
    HANDLE primary = nullptr;
    if (!DuplicateTokenEx(token,
                          TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                              TOKEN_ADJUST_SESSIONID,
                          nullptr, SecurityImpersonation, TokenPrimary, &primary))
        return GetLastError();
    void* environment = nullptr;
    CreateEnvironmentBlock(&environment, primary, FALSE);
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    DWORD error = ERROR_SUCCESS;
    if (CreateProcessWithTokenW(primary, 0, program.c_str(), commandLine.data(),
                                CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS, environment, folder.c_str(),
                                &startup, &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    } else {
        error = GetLastError();
    }
    if (environment != nullptr)
        DestroyEnvironmentBlock(environment);
    CloseHandle(primary);
    return error;
}

void WindowsUserTokens::close(HANDLE token) {
    CloseHandle(token);
}

// The processes named obxhelper.exe, each with the session it runs in.
std::vector<RunningHelper> WindowsHelperSessions::runningHelpers() {
    std::vector<RunningHelper> helpers;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return helpers;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        DWORD session = 0;
        if (_wcsicmp(entry.szExeFile, L"obxhelper.exe") == 0 &&
            ProcessIdToSessionId(entry.th32ProcessID, &session))
            helpers.push_back({entry.th32ProcessID, session});
    }
    CloseHandle(snapshot);
    return helpers;
}

// The helper's InstallerQuitSignal makes it.
HANDLE WindowsHelperSessions::openQuitEvent(DWORD session) {
    const std::wstring name = obx::windows::installerQuitEventName(session);
    return OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str());
}

void WindowsHelperSessions::setEvent(HANDLE event) {
    SetEvent(event);
}

void WindowsHelperSessions::resetEvent(HANDLE event) {
    ResetEvent(event);
}

HANDLE WindowsHelperSessions::openProcess(DWORD process, DWORD access) {
    return OpenProcess(access, FALSE, process);
}

bool WindowsHelperSessions::waitForExit(HANDLE process, DWORD milliseconds) {
    return WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
}

void WindowsHelperSessions::close(HANDLE handle) {
    CloseHandle(handle);
}

} // namespace obx::setup
