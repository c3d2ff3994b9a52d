// The wlroots bridge's logic without a compositor: the bridge choice, the
// pointer value mapping, sway's tree and sockets, app ids to programs.

#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "platform/linux/desktop/DesktopBridgeChoice.h"
#include "platform/linux/wayland/AppIdPrograms.h"
#include "platform/linux/wayland/SwayIpc.h"
#include "platform/linux/wayland/SwayPointerSettings.h"
#include "platform/linux/wayland/WlrootsDesktopQueries.h"
#include "support/TempFolder.h"

#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace obx::test {
namespace {

namespace fs = std::filesystem;
using linuxos::DesktopBridge;
using linuxos::SessionFacts;
using nlohmann::json;

struct ChoiceCase {
    const char* what;
    SessionFacts facts;
    DesktopBridge bridge;
    const char* reasonPart;
};

TEST(DesktopBridgeChoiceTest, SessionsGetTheirBridgeAndTheReasonSaysWhy) {
    const ChoiceCase cases[] = {
        {"X11 session", {"x11", "", ":0", true}, DesktopBridge::x11, "X11 session on DISPLAY=:0"},
        {"X server gone",
         {"x11", "", ":0", false},
         DesktopBridge::headless,
         "no X server answers on DISPLAY=:0"},
        {"nothing", {"tty", "", "", false}, DesktopBridge::headless, "no X11 or Wayland display"},
        {"wlroots",
         {"wayland", "wayland-1", "", false, false, false, true},
         DesktopBridge::wlroots,
         "offers zwlr_foreign_toplevel_manager_v1"},
        {"wlroots, session type unset",
         {"", "wayland-1", ":1", true, false, false, true},
         DesktopBridge::wlroots,
         "WAYLAND_DISPLAY=wayland-1"},
        {"GNOME with Xwayland",
         {"wayland", "wayland-0", ":0", true, true, false, false},
         DesktopBridge::gnome,
         "Wayland session (WAYLAND_DISPLAY=wayland-0) of GNOME Shell (org.gnome.Shell on the session bus)"},
        {"KDE, before the foreign-toplevel test",
         {"wayland", "wayland-0", ":0", true, false, true, true},
         DesktopBridge::kde,
         "Wayland session (WAYLAND_DISPLAY=wayland-0) of KWin (org.kde.KWin on the session bus)"},
        {"unknown compositor",
         {"wayland", "wayland-0", ":0", true},
         DesktopBridge::x11,
         "offers no bridge the helper knows; the X11 services on DISPLAY=:0 (Xwayland)"},
        {"X11 session type wins over a stray WAYLAND_DISPLAY",
         {"x11", "wayland-0", ":0", true, false, false, true},
         DesktopBridge::x11,
         "X11 session"},
    };
    for (const auto& c : cases) {
        const auto choice = linuxos::chooseDesktopBridge(c.facts);
        EXPECT_EQ(choice.bridge, c.bridge) << c.what;
        EXPECT_NE(choice.reason.find(c.reasonPart), std::string::npos) << c.what << ": " << choice.reason;
    }
}

TEST(SwayPointerSettingsTest, HelperScalesMapOntoLibinputsAndBack) {
    struct Case {
        int speed, rate, lines;
        const char* commands;
    };
    const Case cases[] = {
        {50, 0, 3, "pointer_accel 0.000; * accel_profile flat; * scroll_factor 1.000"},
        {100, 100, 6, "pointer_accel 1.000; * accel_profile adaptive; * scroll_factor 2.000"},
        {0, 33, 1, "pointer_accel -0.900; * accel_profile flat; * scroll_factor 0.333"},
        {5, 34, 0, "pointer_accel -0.900; * accel_profile adaptive; * scroll_factor 0.333"},
        {74, 67, 4, "pointer_accel 0.400; * accel_profile adaptive; * scroll_factor 1.333"},
        {250, -5, 30, "pointer_accel 1.000; * accel_profile flat; * scroll_factor 10.000"},
    };
    for (const auto& c : cases) {
        auto expected = "input type:pointer " + std::string(c.commands);
        for (auto at = expected.find('*'); at != std::string::npos; at = expected.find('*')) {
            expected.replace(at, 1, "input type:pointer");
        }
        EXPECT_EQ(wayland::swayPointerCommands(c.speed, c.rate, c.lines), expected) << c.speed;
    }

    const auto inputs = json::parse(R"([
        {"type": "keyboard", "libinput": {"accel_speed": 0.9}},
        {"type": "pointer", "scroll_factor": 1.334},
        {"type": "pointer", "scroll_factor": 2.0,
         "libinput": {"accel_speed": 0.4, "accel_profile": "adaptive", "natural_scroll": "enabled"}}])");
    const auto read = wayland::readPointerSettings(inputs);
    EXPECT_EQ(read.speed, 70);
    EXPECT_EQ(read.accelerationRate, 10);
    EXPECT_EQ(read.wheelLines, 4);
    EXPECT_TRUE(read.scrollInvert);

    const auto flat = wayland::readPointerSettings(json::parse(
        R"([{"type": "pointer", "scroll_factor": 0.1, "libinput": {"accel_speed": -1.0, "accel_profile": "flat"}}])"));
    EXPECT_EQ(flat.speed, 5);
    EXPECT_EQ(flat.accelerationRate, 0);
    EXPECT_EQ(flat.wheelLines, 1);

    for (const auto* text :
         {"[]", "{}", R"([{"type": "pointer"}])", R"([{"type": "pointer", "libinput": 3}])"}) {
        const auto none = wayland::readPointerSettings(json::parse(text));
        EXPECT_EQ(none.speed, 50) << text;
        EXPECT_EQ(none.accelerationRate, 0) << text;
        EXPECT_EQ(none.wheelLines, 1) << text;
        EXPECT_FALSE(none.scrollInvert) << text;
    }
}

TEST(SwayIpcTest, FocusedWindowIsFoundInTiledAndFloatingNodes) {
    const auto tree = json::parse(R"({"focused": false, "nodes": [
        {"focused": false, "nodes": [{"focused": false, "pid": 10, "app_id": "a"}],
         "floating_nodes": [{"focused": true, "pid": 11, "app_id": "b"}]}]})");
    const auto focus = wayland::focusedWindow(tree);
    EXPECT_EQ(focus.pid, 11);
    EXPECT_EQ(focus.appId, "b");

    // A focused workspace has no process; X11 windows have no app id.
    EXPECT_EQ(
        wayland::focusedWindow(json::parse(R"({"nodes": [{"focused": true, "type": "workspace"}]})")).pid, 0);
    const auto x11 =
        wayland::focusedWindow(json::parse(R"({"nodes": [{"focused": true, "pid": 7, "app_id": null}]})"));
    EXPECT_EQ(x11.pid, 7);
    EXPECT_EQ(x11.appId, "");

    // Nesting beyond any real layout is not followed.
    json deep = {{"focused", true}, {"pid", 5}};
    for (int level = 0; level < 100; ++level) {
        deep = {{"nodes", json::array({deep})}};
    }
    EXPECT_EQ(wayland::focusedWindow(deep).pid, 0);
}

TEST(SwayIpcTest, TheCompositorsSocketIsTheOneItsProcessServes) {
    TempFolder folder;
    std::vector<int> sockets;
    auto serve = [&](const fs::path& path) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(fd, 4), 0);
        sockets.push_back(fd);
    };
    const auto self = getpid();
    const auto own = folder / ("sway-ipc.1000." + std::to_string(self) + ".sock");
    const auto named = folder / "chosen.sock";
    const auto unserved = folder / "sway-ipc.1000.1.sock";
    serve(own);
    serve(named);
    serve(unserved);
    close(sockets.back()); // bound, then nobody serves it
    std::ofstream(folder / ("sway-ipc.1000." + std::to_string(self + 1) + ".sock")) << "not a socket";

    EXPECT_EQ(wayland::swaySocketOf(self, (folder / "gone.sock").string(), ""), own);
    EXPECT_EQ(wayland::swaySocketOf(self, "", folder.path().string()), own);
    fs::remove(own);
    // Started with $SWAYSOCK naming a free path: sway took that name.
    EXPECT_EQ(wayland::swaySocketOf(self, named.string(), ""), named);
    EXPECT_EQ(wayland::swaySocketOf(self + 1, named.string(), ""), fs::path());
    EXPECT_EQ(wayland::swaySocketOf(1, unserved.string(), ""), fs::path());
    EXPECT_EQ(wayland::swaySocketOf(0, named.string(), ""), named);
    for (const int fd : sockets) {
        close(fd);
    }
    EXPECT_THROW(wayland::SwayIpc(named).request(wayland::SwayMessage::getTree), std::runtime_error);
}

class AppIdProgramsTest : public ::testing::Test {
protected:
    AppIdProgramsTest() {
        fs::create_directories(folder / "data/applications/org.example");
        fs::create_directories(folder / "bin");
        for (const auto* name : {"editor-bin", "viewer", "player", "shown-elsewhere"}) {
            const auto path = folder / "bin" / name;
            std::ofstream(path) << "#!/bin/sh\n";
            fs::permissions(path, fs::perms::owner_all);
        }
    }

    void entry(const std::string& relative, const std::string& lines) {
        std::ofstream(folder / "data/applications" / relative)
            << "[Desktop Entry]\nType=Application\nName=X\n"
            << lines;
    }

    std::string program(const std::string& appId) {
        linuxos::LinuxCataloguePlatform::Options options;
        options.displayName = ":999";
        options.environment = {};
        options.environment.dataHome = (folder / "data").string();
        options.environment.dataDirs = (folder / "none").string();
        options.environment.path = (folder / "bin").string();
        return wayland::AppIdPrograms(options).program(appId);
    }

    fs::path bin(const char* name) { return fs::canonical(folder / "bin" / name); }

    TempFolder folder;
};

TEST_F(AppIdProgramsTest, WindowClassThenEntryIdThenExecNameNameTheProgram) {
    entry("aaa.desktop", "Exec=viewer %f\n");
    entry("org.example/Editor.desktop", "Exec=editor-bin --new\n");
    entry("zzz.desktop", "Exec=player\nStartupWMClass=org.example.Editor\n");
    entry("hidden.desktop", "Exec=shown-elsewhere\nStartupWMClass=ghost\nHidden=true\n");

    // StartupWMClass beats the entry id, letter case aside.
    EXPECT_EQ(program("ORG.EXAMPLE.EDITOR"), bin("player").string());
    EXPECT_EQ(program("org.example-Editor"), bin("editor-bin").string());
    EXPECT_EQ(program("viewer"), bin("viewer").string());
    EXPECT_EQ(program("aaa"), bin("viewer").string());
    EXPECT_EQ(program("ghost"), "");
    EXPECT_EQ(program("unknown"), "");
    EXPECT_EQ(program(""), "");
}

TEST(FlatpakProgramTest, SandboxedProgramsAreNamedByTheirExportedLauncher) {
    TempFolder home;
    EXPECT_EQ(wayland::flatpakProgram("org.example.Paint", home.path().string()),
              "/var/lib/flatpak/exports/bin/org.example.Paint");
    const auto user = home / ".local/share/flatpak/exports/bin";
    fs::create_directories(user);
    std::ofstream(user / "org.example.Paint") << "";
    EXPECT_EQ(wayland::flatpakProgram("org.example.Paint", home.path().string()),
              (user / "org.example.Paint").string());
    for (const auto* hostile : {"", "../../bin/sh", "a/b", ".hidden", "name with space"}) {
        EXPECT_EQ(wayland::flatpakProgram(hostile, home.path().string()), "") << hostile;
    }
}

} // namespace
} // namespace obx::test
