// The installer's actions, a custom-action library with no window of its own.
//   StartHelper           starts the installed helper for the user of the desktop (the shell's token),
//                         else for the installing user (its unelevated token), never elevated, with
//                         that user's environment read afresh (the port just installed among it);
// and, run as the system account:
//   AskHelpersToQuit      asks every session's running helper to quit (its InstallerQuitSignal) and
//                         waits a bounded time for them; one that stays is logged, and its files are
//                         then replaced at the restart that the installer asks for;
//   DeleteServiceOnRollback  the rollback of the service's installation (Windows' own rollback does it,
//                         Wine's does not);
//   AddDriverPackage      adds the driver package named by its action data and installs it on the
//                         present devices (pnputil /add-driver <inf> /install), and keeps the published
//                         name ("oemNN.inf") that pnputil answers;
//   DeleteDriverPackage   deletes that package again (pnputil /delete-driver <name> /uninstall);
//   UndoAddDriverPackage, UndoDeleteDriverPackage   the two rollback actions: delete what the add
//                         added, add again what the delete deleted (the INF as action data).
// A package that cannot be added does not fail the installation: the helper, the service and the page
// are of use without it. The reason is written to the installer's log and UI as a warning and to
// DriverInstallError under the maker's key, which the helper shows; a successful add empties that value.
// pnputil's 3010 (restart needed) asks the installer for a restart at its end. pnputil is the system
// folder's, never one found through the search path.
#include <windows.h>
// windows.h first: the installer's headers use its types.
#include "WindowsHelperControl.h"

#include <cwctype>
#include <msi.h>
#include <msiquery.h>
#include <optional>
#include <string>

namespace {

using obx::setup::startHelperUnelevated;
using obx::setup::WindowsHelperSessions;
using obx::setup::WindowsUserTokens;

constexpr wchar_t keyPath[] = L"SOFTWARE\\Halvex\\Ombrix";
constexpr wchar_t valueName[] = L"DriverPackage";
constexpr wchar_t errorValueName[] = L"DriverInstallError";
// The reason kept for the page: pnputil's last line at most this long.
constexpr size_t reasonLimit = 300;
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

void setValue(const wchar_t* name, const std::wstring& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void deleteValue(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

// A line for the installer's log, or a warning that its UI shows and a silent installation logs.
void tell(MSIHANDLE install, INSTALLMESSAGE kind, const std::wstring& text) {
    PMSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, text.c_str());
    MsiProcessMessage(install, kind, record);
}

std::wstring actionData(MSIHANDLE install) {
    wchar_t empty[1] = L"";
    DWORD length = 0;
    if (MsiGetPropertyW(install, L"CustomActionData", empty, &length) != ERROR_MORE_DATA)
        return {};
    std::wstring data(length + 1, L'\0');
    length = static_cast<DWORD>(data.size());
    if (MsiGetPropertyW(install, L"CustomActionData", data.data(), &length) != ERROR_SUCCESS)
        return {};
    data.resize(length);
    return data;
}

// pnputil's last non-empty line, printable ASCII only (its code page is the console's), cut short.
std::wstring lastLine(const std::string& output) {
    size_t end = output.find_last_not_of("\r\n \t");
    if (end == std::string::npos)
        return {};
    size_t begin = output.find_last_of("\r\n", end);
    begin = begin == std::string::npos ? 0 : begin + 1;
    std::wstring line;
    for (size_t i = begin; i <= end && line.size() < reasonLimit; ++i) {
        const auto c = static_cast<unsigned char>(output[i]);
        line += c >= 0x20 && c < 0x7F ? static_cast<wchar_t>(c) : L'?';
    }
    return line;
}

// The published name's value is written only by a successful add: a failed one leaves nothing to undo.
UINT add(MSIHANDLE install, const std::wstring& inf, bool undoing) {
    auto result = runPnputil(L"/add-driver \"" + inf + L"\" /install");
    std::wstring reason;
    if (!result) {
        reason = L"pnputil could not be started (error " + std::to_wstring(GetLastError()) + L").";
    } else if (!succeeded(result->exitCode)) {
        reason = L"pnputil ended with code " + std::to_wstring(result->exitCode) + L": " +
                 lastLine(result->output);
    }
    if (!reason.empty()) {
        tell(
            install, INSTALLMESSAGE(INSTALLMESSAGE_WARNING | MB_OK | MB_ICONWARNING),
            L"Ombrix: the trackball driver was not installed. " + reason +
                L" The helper and the settings page are installed; the page says how to install the driver.");
        if (!undoing)
            setValue(errorValueName, reason);
        return ERROR_SUCCESS;
    }
    if (auto name = publishedName(result->output))
        setValue(valueName, *name);
    setValue(errorValueName, L"");
    tell(install, INSTALLMESSAGE_INFO, L"Ombrix: the trackball driver package was added and installed.");
    if (result->exitCode == ERROR_SUCCESS_REBOOT_REQUIRED) {
        tell(install, INSTALLMESSAGE_INFO, L"Ombrix: the trackball driver needs a restart.");
        MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
    }
    return ERROR_SUCCESS;
}

UINT remove(MSIHANDLE install) {
    wchar_t name[64];
    DWORD size = sizeof(name);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, keyPath, valueName, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr,
                     name, &size) != ERROR_SUCCESS) {
        deleteValue(errorValueName);
        return ERROR_SUCCESS; // nothing was added
    }
    auto result = runPnputil(std::wstring(L"/delete-driver ") + name + L" /uninstall");
    if (result && succeeded(result->exitCode)) {
        deleteValue(valueName);
        deleteValue(errorValueName);
        if (result->exitCode == ERROR_SUCCESS_REBOOT_REQUIRED)
            MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
    } else {
        tell(install, INSTALLMESSAGE_INFO,
             std::wstring(L"Ombrix: the trackball driver package ") + name +
                 L" was not deleted from the store.");
    }
    return ERROR_SUCCESS;
}

std::wstring property(MSIHANDLE install, const wchar_t* name) {
    wchar_t empty[1] = L"";
    DWORD length = 0;
    if (MsiGetPropertyW(install, name, empty, &length) != ERROR_MORE_DATA)
        return {};
    std::wstring value(length + 1, L'\0');
    length = static_cast<DWORD>(value.size());
    if (MsiGetPropertyW(install, name, value.data(), &length) != ERROR_SUCCESS)
        return {};
    value.resize(length);
    return value;
}

UINT startHelper(MSIHANDLE install) {
    const std::wstring folder = property(install, L"INSTALLDIR");
    WindowsUserTokens tokens;
    const auto failure = startHelperUnelevated(tokens, folder + L"obxhelper.exe", folder);
    if (!failure)
        tell(install, INSTALLMESSAGE_INFO, L"Ombrix: the helper was started for the installing user.");
    else if (!failure->userFound)
        tell(install, INSTALLMESSAGE_INFO,
             L"Ombrix: no unelevated user to start the helper for (error " + std::to_wstring(failure->error) +
                 L"); it starts at the next sign-in.");
    else
        tell(install, INSTALLMESSAGE_INFO,
             L"Ombrix: the helper could not be started (error " + std::to_wstring(failure->error) +
                 L"); it starts at the next sign-in.");
    return ERROR_SUCCESS;
}

constexpr DWORD helperQuitWaitMs = 15000;

UINT askHelpersToQuit(MSIHANDLE install) {
    WindowsHelperSessions sessions;
    if (const size_t staying = obx::setup::askHelpersToQuit(sessions, helperQuitWaitMs))
        tell(install, INSTALLMESSAGE_INFO,
             L"Ombrix: " + std::to_wstring(staying) +
                 L" helper(s) did not quit; their files are replaced at the next restart.");
    return ERROR_SUCCESS;
}

UINT deleteService() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return ERROR_SUCCESS;
    if (SC_HANDLE service = OpenServiceW(manager, L"obxsvc", DELETE)) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return ERROR_SUCCESS;
}

} // namespace

extern "C" {

__declspec(dllexport) UINT __stdcall AskHelpersToQuit(MSIHANDLE install) {
    return askHelpersToQuit(install);
}

__declspec(dllexport) UINT __stdcall DeleteServiceOnRollback(MSIHANDLE) {
    return deleteService();
}

__declspec(dllexport) UINT __stdcall StartHelper(MSIHANDLE install) {
    return startHelper(install);
}

__declspec(dllexport) UINT __stdcall AddDriverPackage(MSIHANDLE install) {
    return add(install, actionData(install), false);
}

__declspec(dllexport) UINT __stdcall DeleteDriverPackage(MSIHANDLE install) {
    return remove(install);
}

__declspec(dllexport) UINT __stdcall UndoAddDriverPackage(MSIHANDLE install) {
    return remove(install);
}

__declspec(dllexport) UINT __stdcall UndoDeleteDriverPackage(MSIHANDLE install) {
    return add(install, actionData(install), true);
}

} // extern "C"
