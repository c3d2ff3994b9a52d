#include "service/windows/WinSystem.h"

#include "service/windows/WinText.h"

#include <msi.h>
#include <userenv.h>
#include <vector>
#include <wtsapi32.h>

namespace obx::win {

namespace {

// The utility's installer; the Windows Installer keeps these in capitals.
constexpr const wchar_t* upgradeCode = L"{3B5012C7-25B4-4337-84A2-0FC109607E95}";
constexpr DWORD noSession = 0xFFFFFFFF;

// A command line that CreateProcess may write into.
std::vector<wchar_t> writable(const std::wstring& text) {
    std::vector<wchar_t> buffer(text.begin(), text.end());
    buffer.push_back(L'\0');
    return buffer;
}

class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Handle() {
        if (handle_) {
            CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    HANDLE* out() { return &handle_; }

private:
    HANDLE handle_;
};

// The user's own environment (TMP, USERPROFILE, APPDATA...), not the
// service's: the popup's log and the programs it starts belong to the user.
class UserEnvironment {
public:
    explicit UserEnvironment(HANDLE token) {
        if (!CreateEnvironmentBlock(&block_, token, FALSE)) {
            block_ = nullptr;
        }
    }
    ~UserEnvironment() {
        if (block_) {
            DestroyEnvironmentBlock(block_);
        }
    }
    UserEnvironment(const UserEnvironment&) = delete;
    UserEnvironment& operator=(const UserEnvironment&) = delete;
    void* get() const { return block_; }

private:
    void* block_ = nullptr;
};

// Step by step as the service starts a program for the console's user; each
// failure is logged where the system tells why.
bool startInUserSession(const std::wstring& commandLine, const std::wstring& folder, ServiceLog& log) {
    const DWORD session = WTSGetActiveConsoleSessionId();
    if (session == noSession) {
        log.write(4, "No one is logged in\n");
        return false;
    }
    Handle userToken;
    if (!WTSQueryUserToken(session, userToken.out())) {
        return false;
    }
    Handle primaryToken;
    if (!DuplicateTokenEx(userToken.get(), TOKEN_ALL_ACCESS, nullptr, SecurityDelegation, TokenPrimary,
                          primaryToken.out())) {
        log.write(4, "Failed to duplicate token, %d\n", static_cast<int>(GetLastError()));
        return false;
    }
    // Without the user's environment the popup would inherit the service's,
    // and its log would go where the user cannot write.
    const UserEnvironment environment(primaryToken.get());
    if (!environment.get()) {
        log.write(4, "Failed to create environment block, %d\n", static_cast<int>(GetLastError()));
        return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    wchar_t desktop[] = L"winsta0\\default";
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION process{};
    auto line = writable(commandLine);
    // A console program: without CREATE_NO_WINDOW the user would see an
    // empty console for the popup's whole minute.
    if (!CreateProcessAsUserW(primaryToken.get(), nullptr, line.data(), nullptr, nullptr, FALSE,
                              CREATE_BREAKAWAY_FROM_JOB | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                              environment.get(), folder.c_str(), &startup, &process)) {
        log.write(4, "Failed to create process(1) as user, %d\n", static_cast<int>(GetLastError()));
        return false;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

std::wstring systemFolder(UINT (*query)(LPWSTR, UINT), const wchar_t* fallback) {
    wchar_t folder[MAX_PATH];
    const UINT length = query(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring(fallback) : std::wstring(folder, length);
}

} // namespace

bool RegistryRecord::notified() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    ULONGLONG value = 0;
    DWORD size = sizeof value;
    const LSTATUS result =
        RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && size == sizeof value && value != 0;
}

int RegistryRecord::write(std::int64_t secondsSinceEpoch) {
    HKEY key = nullptr;
    LSTATUS result =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, &key);
    if (result != ERROR_SUCCESS) {
        result = RegCreateKeyW(HKEY_LOCAL_MACHINE, keyPath, &key);
    }
    if (result != ERROR_SUCCESS) {
        return static_cast<int>(result);
    }
    const auto value = static_cast<ULONGLONG>(secondsSinceEpoch);
    result =
        RegSetValueExW(key, valueName, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return static_cast<int>(result);
}

bool InstallerProductCheck::installed() {
    wchar_t product[40] = {};
    return MsiEnumRelatedProductsW(upgradeCode, 0, 0, product) == ERROR_SUCCESS;
}

bool UserSessionPopupStarter::start() {
    const auto program = programPath();
    const auto folder = program.substr(0, program.find_last_of(L'\\') + 1);
    return startInUserSession(L"\"" + program + L"\" -showpopup", folder, log_);
}

int ExplorerPageOpener::open(const char* address) {
    // The page address is ours and short; a longer one is refused rather
    // than cut.
    constexpr std::size_t commandLineLength = 1024;
    const auto commandLine =
        systemFolder(GetSystemWindowsDirectoryW, L"c:\\windows") + L"\\explorer.exe " + wide(address);
    if (commandLine.size() >= commandLineLength) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    wchar_t desktop[] = L"winsta0\\default";
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION process{};
    auto line = writable(commandLine);
    const auto folder = systemFolder(GetSystemDirectoryW, L"c:\\windows\\system32");
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        folder.c_str(), &startup, &process)) {
        return static_cast<int>(GetLastError());
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 0;
}

std::wstring programPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // Long paths: up to the system's limit of 32767 characters.
        if (path.size() >= 32768) {
            return {};
        }
        path.resize(path.size() * 2);
    }
}

} // namespace obx::win
