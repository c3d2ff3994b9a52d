#include "DesktopFolders.h"

#include <boost/beast/core/detail/base64.hpp>

namespace obx::x11::test {

namespace fs = std::filesystem;
using obx::test::writeFile;

const std::string DesktopFolders::pngIconBase64 =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAQAAAC1HAwCAAAAC0lEQVR42mNkYAAAAAYAAjCB0C8AAAAASUVORK5CYII=";

namespace {

std::string decoded(const std::string& text) {
    std::string bytes(boost::beast::detail::base64::decoded_size(text.size()), '\0');
    bytes.resize(boost::beast::detail::base64::decode(bytes.data(), text.data(), text.size()).first);
    return bytes;
}

void writeEntry(const fs::path& file, const std::string& keys) {
    fs::create_directories(file.parent_path());
    writeFile(file, "# made by the test\n[Desktop Entry]\nType=Application\n" + keys +
                        "\n[Desktop Action New]\nName=Not this\n");
}

} // namespace

DesktopFolders::DesktopFolders() {
    fs::create_directories(root_ / "bin");
    for (const char* name :
         {"editor", "mailer", "painter", "viewer", "writer", "hidden-tool", "kde-tool", "tried-tool"}) {
        writeFile(program(name), "#!/bin/sh\nexit 0\n");
        fs::permissions(program(name), fs::perms::owner_all);
    }
    const auto user = root_ / "data" / "applications";
    const auto system = root_ / "system" / "applications";
    writeEntry(user / "editor.desktop",
               "Name=Editor\nName[de]=Bearbeiter\nName[de_CH]=Schreiber\nExec=editor %F\nIcon=editor");
    writeEntry(system / "editor.desktop", "Name=System Editor\nExec=editor\nIcon=editor");
    writeEntry(user / "tools" / "mailer.desktop",
               "Name=Mailer\nExec=\"" + program("mailer").string() + "\" --compose %u\nIcon=editor.png");
    writeEntry(system / "viewer.desktop", "Name=Viewer\nExec=viewer\nIcon=viewer");
    writeEntry(system / "writer.desktop", "Name=Writer\nExec=writer\nIcon=editor");
    writeEntry(system / "hidden.desktop", "Name=Hidden\nNoDisplay=true\nExec=hidden-tool\nIcon=editor");
    writeEntry(system / "kde.desktop", "Name=KDE tool\nOnlyShowIn=KDE;\nExec=kde-tool\nIcon=editor");
    writeEntry(system / "tried.desktop", "Name=Tried\nTryExec=no-such-tool\nExec=tried-tool\nIcon=editor");
    writeEntry(root_ / "desktop" / "painter.desktop", "Name=Painter\nExec=painter\nIcon=viewer");

    const auto theme = root_ / "data" / "icons" / "hicolor";
    fs::create_directories(theme / "32x32" / "apps");
    fs::create_directories(theme / "scalable" / "apps");
    fs::create_directories(theme / "256x256" / "apps");
    writeFile(theme / "index.theme",
              "[Icon Theme]\nName=Hicolor\nDirectories=256x256/apps,32x32/apps,scalable/apps\n\n"
              "[256x256/apps]\nSize=256\nType=Threshold\n\n"
              "[32x32/apps]\nSize=32\nType=Fixed\n\n"
              "[scalable/apps]\nSize=128\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    writeFile(theme / "32x32" / "apps" / "editor.png", decoded(pngIconBase64));
    writeFile(theme / "256x256" / "apps" / "editor.png", "not the icon nearest the size");
    writeFile(theme / "256x256" / "apps" / "viewer.png", "not the icon nearest the size");
    writeFile(theme / "scalable" / "apps" / "viewer.svg",
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\">"
              "<rect width=\"16\" height=\"16\" fill=\"#c03\"/></svg>");
}

fs::path DesktopFolders::program(const std::string& name) const {
    return fs::canonical(root_.path()) / "bin" / name;
}

std::vector<std::pair<std::string, std::string>>
DesktopFolders::environment(const fs::path& configHome) const {
    return {{"HOME", (root_ / "home").string()},
            {"XDG_DATA_HOME", (root_ / "data").string()},
            {"XDG_DATA_DIRS", (root_ / "system").string()},
            {"XDG_CONFIG_HOME", configHome.string()},
            {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"},
            {"PATH", (root_ / "bin").string() + ":/usr/bin:/bin"}};
}

void DesktopFolders::nameDesktop(const fs::path& configHome) const {
    fs::create_directories(configHome);
    writeFile(configHome / "user-dirs.dirs", "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"" +
                                                 (root_ / "desktop").string() + "\"\n");
}

void DesktopFolders::runAs(int pid, const std::string& name) const {
    const auto folder = procFolder() / std::to_string(pid);
    fs::create_directories(folder);
    fs::create_symlink(program(name), folder / "exe");
}

} // namespace obx::x11::test
