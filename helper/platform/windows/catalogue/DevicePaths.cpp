#include "platform/windows/catalogue/DevicePaths.h"

#include <array>
#include <optional>
#include <windows.h>

namespace obx::windows {

namespace {

constexpr std::wstring_view redirector = L"\\Device\\LanmanRedirector\\";

constexpr wchar_t folded(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool startsWithFolded(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (folded(text[i]) != folded(prefix[i])) {
            return false;
        }
    }
    return true;
}

constexpr bool hexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// A mapped drive's device carries the drive and the logon session before the
// share (";Z:<session>\server\share"); the image paths of programs on that
// share do not. The session is a hexadecimal number and share names may hold
// spaces, so both are read whole.
std::optional<std::wstring> sharedFolder(std::wstring_view device) {
    const auto rest = device.substr(redirector.size());
    if (rest.size() < 3 || rest[0] != L';' || rest[2] != L':') {
        return std::nullopt;
    }
    std::size_t at = 3;
    while (at < rest.size() && hexDigit(rest[at])) {
        ++at;
    }
    if (at == 3 || at + 1 >= rest.size() || rest[at] != L'\\') {
        return std::nullopt;
    }
    std::wstring share(redirector);
    share += rest.substr(at + 1);
    return share;
}

// "\Device\HarddiskVolume1" must not claim "\Device\HarddiskVolume10\a.exe".
bool beginsWithFolder(std::wstring_view path, std::wstring_view folder) {
    return startsWithFolded(path, folder) &&
           (path.size() == folder.size() || path[folder.size()] == L'\\' || folder.back() == L'\\');
}

} // namespace

std::wstring devicePathToDosPath(std::wstring_view devicePath, const DriveDevice& deviceOf) {
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        std::wstring device = deviceOf(letter);
        if (device.empty()) {
            continue;
        }
        if (startsWithFolded(device, redirector)) {
            auto share = sharedFolder(device);
            if (!share) {
                continue;
            }
            device = std::move(*share);
        }
        if (beginsWithFolder(devicePath, device)) {
            std::wstring path{letter, L':'};
            path += devicePath.substr(device.size());
            return path;
        }
    }
    return {};
}

std::wstring devicePathToDosPath(std::wstring_view devicePath) {
    return devicePathToDosPath(devicePath, [](wchar_t letter) {
        const wchar_t drive[] = {letter, L':', L'\0'};
        std::array<wchar_t, 4096> device{};
        // The answer is a list of names, each ended by a zero: the first is
        // the current one.
        if (::QueryDosDeviceW(drive, device.data(), static_cast<DWORD>(device.size())) == 0) {
            return std::wstring();
        }
        return std::wstring(device.data());
    });
}

} // namespace obx::windows
