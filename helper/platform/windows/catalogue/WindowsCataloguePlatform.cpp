#include "platform/windows/catalogue/WindowsCataloguePlatform.h"

#include "base/Log.h"
#include "platform/windows/catalogue/ApplicationWindows.h"
#include "platform/windows/catalogue/Shortcuts.h"

#include <array>
#include <boost/locale/encoding_utf.hpp>
#include <ctime>

// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
// clang-format on

namespace obx::windows {

namespace {

std::string utf8(std::wstring_view text) {
    return boost::locale::conv::utf_to_utf<char>(text.data(), text.data() + text.size());
}

std::wstring utf16(std::string_view text) {
    return boost::locale::conv::utf_to_utf<wchar_t>(text.data(), text.data() + text.size());
}

std::string knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) {
        folder = utf8(path);
    }
    ::CoTaskMemFree(path);
    return folder;
}

std::string userStartMenuPrograms() {
    const auto roaming = knownFolder(FOLDERID_RoamingAppData);
    return roaming.empty() ? roaming : roaming + "\\Microsoft\\Windows\\Start Menu\\Programs";
}

std::string desktopFolder() {
    std::array<wchar_t, MAX_PATH> path{};
    if (::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path.data()) !=
        S_OK) {
        return {};
    }
    return utf8(path.data());
}

} // namespace

void WindowsCataloguePlatform::beginList() {
    // Also when COM was running on this thread already (S_FALSE): every
    // success is matched by one CoUninitialize.
    comInitialized_ = SUCCEEDED(::CoInitialize(nullptr));
    gdiplus_.emplace();
}

void WindowsCataloguePlatform::endList() noexcept {
    gdiplus_.reset();
    if (comInitialized_) {
        ::CoUninitialize();
        comInitialized_ = false;
    }
}

void WindowsCataloguePlatform::visitWindowPrograms(const std::function<bool(const std::string&)>& visit) {
    visitApplicationWindows([&](const std::wstring& program) { return visit(utf8(program)); });
}

std::vector<LauncherFolder> WindowsCataloguePlatform::listFolders() {
    std::vector<LauncherFolder> folders;
    const auto addTopThenAll = [&folders](const std::string& folder) {
        if (!folder.empty()) {
            folders.push_back({folder, false});
            folders.push_back({folder, true});
        }
    };
    if (auto desktop = desktopFolder(); !desktop.empty()) {
        folders.push_back({std::move(desktop), false});
    }
    addTopThenAll(userStartMenuPrograms());
    addTopThenAll(knownFolder(FOLDERID_CommonStartMenu));
    return folders;
}

std::vector<LauncherFolder> WindowsCataloguePlatform::nameFolders() {
    std::vector<LauncherFolder> folders;
    for (auto folder : {userStartMenuPrograms(), knownFolder(FOLDERID_CommonStartMenu)}) {
        if (!folder.empty()) {
            folders.push_back({std::move(folder), true});
        }
    }
    return folders;
}

std::vector<std::string> WindowsCataloguePlatform::launchers(const LauncherFolder& folder) {
    std::vector<std::string> files;
    for (const auto& shortcut : collectShortcuts(utf16(folder.path), folder.recursive)) {
        files.push_back(utf8(shortcut));
    }
    return files;
}

std::optional<Launcher> WindowsCataloguePlatform::resolveLauncher(const std::string& file) {
    const auto shortcut = utf16(file);
    const auto target = readShortcut(shortcut);
    if (target.path.empty()) {
        return std::nullopt;
    }
    if (!isLocalPath(target.path, files_)) {
        log(LogLevel::debug, "Shortcut ", file, " leads off this machine's drives; left out");
        return std::nullopt;
    }
    Launcher launcher{utf8(target.path), utf8(shortcutDisplayName(shortcut)), {}};
    // The shortcut's own icon where it names one on a local drive, else the
    // program's first.
    const auto iconLocation = withEnvironment(target.iconLocation);
    launcher.icon = !iconLocation.empty() && target.iconIndex != -1 && isLocalPath(iconLocation, files_)
                        ? IconSource{utf8(iconLocation), target.iconIndex}
                        : IconSource{launcher.program, 0};
    return launcher;
}

std::string WindowsCataloguePlatform::iconBase64(const IconSource& source) {
    const auto file = utf16(source.file);
    return isLocalPath(file, files_) ? files_.iconBase64(file, source.index) : std::string();
}

std::optional<std::int64_t> WindowsCataloguePlatform::now() {
    const std::time_t seconds = std::time(nullptr);
    return seconds == static_cast<std::time_t>(-1) ? std::nullopt : std::optional<std::int64_t>(seconds);
}

} // namespace obx::windows
