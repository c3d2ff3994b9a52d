#pragma once

// The program catalogue on an X11 desktop: the programs of the window
// manager's client windows, the desktop entries of the XDG data folders and
// of the desktop folder, and icons from the icon theme.

#include "catalogue/CataloguePlatform.h"
#include "platform/linux/catalogue/IconTheme.h"
#include "platform/linux/x11/WindowProcesses.h"
#include "platform/linux/x11/XConnection.h"

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace obx::linuxos {

// What the desktop's folders and rules depend on, as the process's
// environment gives it (tests give their own).
struct DesktopEnvironment {
    std::string home;
    std::string dataHome;        // $XDG_DATA_HOME
    std::string dataDirs;        // $XDG_DATA_DIRS
    std::string configHome;      // $XDG_CONFIG_HOME
    std::string currentDesktops; // $XDG_CURRENT_DESKTOP
    std::string path;            // $PATH
    std::string messagesLocale;  // $LC_ALL, else $LC_MESSAGES, else $LANG

    static DesktopEnvironment fromProcess();
};

class LinuxCataloguePlatform : public ICataloguePlatform {
public:
    struct Options {
        std::string displayName; // empty: $DISPLAY
        std::filesystem::path procFolder = "/proc";
        DesktopEnvironment environment = DesktopEnvironment::fromProcess();
    };

    explicit LinuxCataloguePlatform(Options options);

    const ProgramRules& rules() const override { return linuxPrograms; }
    // Finds the desktop entries and reads the icon theme anew for each list.
    void beginList() override;
    void endList() noexcept override;
    void visitWindowPrograms(const std::function<bool(const std::string& program)>& visit) override;
    std::vector<LauncherFolder> listFolders() override;
    std::vector<LauncherFolder> nameFolders() override;
    std::vector<std::string> launchers(const LauncherFolder& folder) override;
    std::optional<Launcher> resolveLauncher(const std::string& file) override;
    IconSource programIcon(const std::string& program) override;
    std::string iconBase64(const IconSource& source) override;
    std::optional<std::int64_t> now() override;

    static constexpr int iconSize = 32;

private:
    bool applicationWindow(Window window) const;
    // Finds the desktop entries anew: each entry id once, from the folder
    // that comes first.
    void scan();
    std::string command(const std::string& name) const;

    Options options_;
    x11::XConnection connection_;
    x11::WindowProcesses processes_;
    std::vector<std::string> applicationFolders_;
    std::string desktopFolder_;
    std::vector<std::string> locales_;
    std::vector<std::string> desktops_;
    std::vector<std::string> searchPath_;

    std::vector<std::filesystem::path> iconFolders_;
    std::filesystem::path themeSettings_;

    bool listing_ = false;
    std::map<std::string, std::vector<std::string>> entryFiles_; // by folder
    std::unordered_map<std::string, std::optional<Launcher>> resolved_;
    // Program (lower-cased) to its first entry's icon, made on first need.
    std::optional<std::unordered_map<std::string, std::string>> programIcons_;
    std::optional<IconTheme> theme_;
};

} // namespace obx::linuxos
