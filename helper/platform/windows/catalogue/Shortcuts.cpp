#include "platform/windows/catalogue/Shortcuts.h"

#include "base/Log.h"

#include <array>
#include <exception>

// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>
// clang-format on

namespace obx::windows {

namespace {

using Microsoft::WRL::ComPtr;

// Folders nested deeper than this are not searched: a junction that leads
// back up the tree would otherwise be followed until paths grow too long.
constexpr int maxFolderDepth = 32;

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (valid()) {
            ::FindClose(handle_);
        }
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

void collect(const std::wstring& folder, bool recursive, int depth, std::vector<std::wstring>& shortcuts) {
    WIN32_FIND_DATAW entry{};
    const FindHandle find(::FindFirstFileW((folder + L"*").c_str(), &entry));
    if (find.valid()) {
        do {
            try {
                const std::wstring_view name = entry.cFileName;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (recursive && depth < maxFolderDepth && name != L"." && name != L"..") {
                        collect(folder + std::wstring(name) + L"\\", recursive, depth + 1, shortcuts);
                    }
                } else if (name.find(L".lnk") != std::wstring_view::npos) {
                    shortcuts.push_back(folder + std::wstring(name));
                }
            } catch (const std::exception& error) {
                log(LogLevel::warning, "Error while retrieving file name: ", error.what());
            }
        } while (::FindNextFileW(find.get(), &entry));
    }
    if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES) {
        log(LogLevel::warning, "Error enumerating files, rc: ", error);
    }
}

} // namespace

std::vector<std::wstring> collectShortcuts(std::wstring folder, bool recursive) {
    std::vector<std::wstring> shortcuts;
    if (folder.empty()) {
        return shortcuts;
    }
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    collect(folder, recursive, 0, shortcuts);
    return shortcuts;
}

ShortcutTarget readShortcut(const std::wstring& shortcut) {
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))) ||
        FAILED(link.As(&file)) || FAILED(file->Load(shortcut.c_str(), STGM_READ))) {
        return {};
    }
    std::array<wchar_t, MAX_PATH> path{};
    std::array<wchar_t, 2048> iconLocation{};
    int iconIndex = 0;
    if (FAILED(link->GetPath(path.data(), static_cast<int>(path.size()), nullptr, 0)) ||
        FAILED(
            link->GetIconLocation(iconLocation.data(), static_cast<int>(iconLocation.size()), &iconIndex))) {
        return {};
    }
    return {path.data(), iconLocation.data(), iconIndex};
}

std::wstring shortcutDisplayName(std::wstring_view shortcut) {
    const auto slash = shortcut.rfind(L'\\');
    if (slash == std::wstring_view::npos) {
        return {};
    }
    auto name = shortcut.substr(slash + 1);
    if (name.size() >= 4) {
        if (const auto suffix = name.rfind(L".lnk"); suffix != std::wstring_view::npos) {
            name = name.substr(0, suffix);
        }
    }
    return std::wstring(name);
}

} // namespace obx::windows
