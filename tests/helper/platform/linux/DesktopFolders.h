#pragma once

// A desktop's folders under a temporary folder: programs on a PATH of their
// own, desktop entries in the user's and the system's data folders and on
// the desktop, an icon theme with a PNG and an SVG icon, and a stand-in for
// /proc in which test pids name those programs.

#include "support/TempFolder.h"

#include <filesystem>
#include <string>
#include <vector>

namespace obx::x11::test {

class DesktopFolders {
public:
    // Programs editor, mailer, painter, viewer, writer, hidden-tool,
    // kde-tool and tried-tool; an entry for each (hidden-tool's with
    // NoDisplay, kde-tool's only on KDE, tried-tool's with a TryExec that
    // names no program, and a system entry for editor that the user's one
    // shadows); painter's on the desktop.
    DesktopFolders();

    std::filesystem::path program(const std::string& name) const;
    // The PNG icon's file as Base64.
    static const std::string pngIconBase64;

    // Names and values of the environment of a process whose desktop these
    // folders are; configHome: its $XDG_CONFIG_HOME.
    std::vector<std::pair<std::string, std::string>>
    environment(const std::filesystem::path& configHome) const;
    // Makes pid's executable the program, in procFolder().
    void runAs(int pid, const std::string& program) const;
    std::filesystem::path procFolder() const { return root_ / "proc"; }
    std::filesystem::path configHome() const { return root_ / "config"; }
    // Writes the user-dirs file that names the desktop folder below configHome.
    void nameDesktop(const std::filesystem::path& configHome) const;

private:
    obx::test::TempFolder root_;
};

} // namespace obx::x11::test
