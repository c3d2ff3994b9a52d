#include "platform/windows/actions/KnownFolders.h"

#include <filesystem>

// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

namespace obx::windows {

std::string helperDataFolder() {
    PWSTR roaming = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming);
    std::filesystem::path folder;
    if (SUCCEEDED(result)) {
        folder = std::filesystem::path(roaming) / L"Halvex" / L"Ombrix";
    }
    ::CoTaskMemFree(roaming);
    const auto text = folder.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace obx::windows
