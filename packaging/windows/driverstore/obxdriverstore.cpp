// The installer's driver-store action, run as the system account:
//   obxdriverstore add <inf>   adds the driver package and installs it on the present devices
//                              (pnputil /add-driver <inf> /install), and keeps the published name
//                              ("oemNN.inf") that pnputil answers;
//   obxdriverstore delete      deletes that package again (pnputil /delete-driver <name> /uninstall).
// The exit code is pnputil's (0, or 3010 when a restart is needed), 1 for a bad command line, 2 when
// pnputil could not be run. pnputil is the system folder's, never one found through the search path.
#include <windows.h>
// windows.h first: shellapi.h uses its types.
#include <cwctype>
#include <optional>
#include <shellapi.h>
#include <string>

namespace {

constexpr wchar_t keyPath[] = L"SOFTWARE\\Halvex\\Ombrix";
constexpr wchar_t valueName[] = L"DriverPackage";
// pnputil's answer is a few lines; more is not its answer.
constexpr size_t outputLimit = 64 * 1024;
constexpr DWORD pnputilTimeoutMs = 10 * 60 * 1000;

struct Result {
    DWORD exitCode;
    std::string output;
};

std::optional<Result> runPnputil(const std::wstring& arguments) {
    wchar_t system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::nullopt;
    std::wstring program = std::wstring(system, length) + L"\\pnputil.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;

    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return std::nullopt;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                  CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return std::nullopt;
    }
    Result result{2, {}};
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        if (result.output.size() < outputLimit)
            result.output.append(buffer, read);
    }
    CloseHandle(readEnd);
    if (WaitForSingleObject(process.hProcess, pnputilTimeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &result.exitCode);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

// The first "oem<digits>.inf" in pnputil's answer: the name is the same in every language.
std::optional<std::wstring> publishedName(const std::string& output) {
    for (size_t at = 0; at + 3 <= output.size(); ++at) {
        auto lower = [&](size_t i) {
            return static_cast<char>(std::towlower(static_cast<unsigned char>(output[i])));
        };
        if (lower(at) != 'o' || lower(at + 1) != 'e' || lower(at + 2) != 'm')
            continue;
        size_t digits = at + 3;
        while (digits < output.size() && output[digits] >= '0' && output[digits] <= '9')
            ++digits;
        if (digits == at + 3 || digits + 4 > output.size())
            continue;
        if (lower(digits) == '.' && lower(digits + 1) == 'i' && lower(digits + 2) == 'n' &&
            lower(digits + 3) == 'f') {
            return std::wstring(output.begin() + static_cast<std::ptrdiff_t>(at),
                                output.begin() + static_cast<std::ptrdiff_t>(digits + 4));
        }
    }
    return std::nullopt;
}

bool succeeded(DWORD exitCode) {
    return exitCode == ERROR_SUCCESS || exitCode == ERROR_SUCCESS_REBOOT_REQUIRED;
}

int add(const std::wstring& inf) {
    auto result = runPnputil(L"/add-driver \"" + inf + L"\" /install");
    if (!result)
        return 2;
    if (auto name = publishedName(result->output)) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                            nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(name->c_str()),
                           static_cast<DWORD>((name->size() + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
    }
    return static_cast<int>(result->exitCode);
}

int remove() {
    wchar_t name[64];
    DWORD size = sizeof(name);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, keyPath, valueName, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr,
                     name, &size) != ERROR_SUCCESS) {
        return 0; // nothing was added
    }
    auto result = runPnputil(std::wstring(L"/delete-driver ") + name + L" /uninstall");
    if (!result)
        return 2;
    if (succeeded(result->exitCode)) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueW(key, valueName);
            RegCloseKey(key);
        }
    }
    return static_cast<int>(result->exitCode);
}

} // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr)
        return 1;
    int code = 1;
    if (count == 3 && std::wstring(arguments[1]) == L"add") {
        code = add(arguments[2]);
    } else if (count == 2 && std::wstring(arguments[1]) == L"delete") {
        code = remove();
    }
    LocalFree(arguments);
    return code;
}
