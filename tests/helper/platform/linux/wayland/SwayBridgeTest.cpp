// The wlroots bridge against a headless sway: the focused window and its
// program, window commands, pointer settings, a compositor restart.

#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "HelperProcess.h"
#include "SwayCompositor.h"
#include "platform/linux/wayland/WlrootsDesktopQueries.h"
#include "platform/linux/wayland/WlrootsPlatformServices.h"

namespace obx::test {
namespace {

using wayland::ForeignToplevels;
using wayland::ToplevelWindow;

class SwayBridgeTest : public ::testing::Test {
protected:
    SwayBridgeTest() {
        setEnvironmentOf("SWAYSOCK", sway.ipcSocket().string());
        toplevels = std::make_shared<ForeignToplevels>(sway.waylandDisplay());
    }
    ~SwayBridgeTest() override { unsetenv("SWAYSOCK"); }

    static void setEnvironmentOf(const char* name, const std::string& value) {
        setenv(name, value.c_str(), 1);
    }

    // Starts a renamed copy of the probe and waits until its window has the focus.
    std::unique_ptr<SpawnedProcess> startProbe(const std::string& program, const std::string& appId,
                                               const std::vector<std::string>& extra = {}) {
        std::vector<std::string> command{probeCopy(sway.programFolder(), program).string(), appId};
        command.insert(command.end(), extra.begin(), extra.end());
        auto client = sway.startClient(command);
        EXPECT_TRUE(waitUntil([&] {
            const auto focused = toplevels->focused();
            return focused && focused->appId == appId;
        })) << appId;
        return client;
    }

    void focus(const std::string& appId) { sway.ipc().run("[app_id=\"" + appId + "\"] focus"); }

    wayland::WlrootsDesktopQueries queries() {
        return wayland::WlrootsDesktopQueries(toplevels, {"/proc", "", {}});
    }

    SwayCompositor sway;
    std::shared_ptr<ForeignToplevels> toplevels;
};

TEST_F(SwayBridgeTest, TheFocusedWindowAndItsProgramFollowTheFocus) {
    auto desktop = queries();
    auto first = startProbe("probe-alpha", "org.example.Alpha");
    auto second = startProbe("probe-beta", "org.example.Beta");
    const auto betaWindow = desktop.foregroundWindow();
    EXPECT_NE(betaWindow, 0u);
    EXPECT_EQ(desktop.foregroundApplicationPath(), (sway.programFolder() / "probe-beta").string());

    focus("org.example.Alpha");
    ASSERT_TRUE(waitUntil([&] { return desktop.foregroundWindow() != betaWindow; }));
    EXPECT_EQ(desktop.foregroundApplicationPath(), (sway.programFolder() / "probe-alpha").string());
    EXPECT_EQ(desktop.pressedModifiers(), 0u);
}

TEST_F(SwayBridgeTest, CloseReachesTheFocusedWindowOnly) {
    wayland::WlrootsPlatformServices services(toplevels, "");
    auto first = startProbe("probe-alpha", "org.example.Alpha");
    auto second = startProbe("probe-beta", "org.example.Beta");
    services.runSystemAction("closeWindow", nullptr);
    EXPECT_EQ(second->waitExit(kWait), 0);
    EXPECT_TRUE(first->running());
}

TEST_F(SwayBridgeTest, MaximizeMakesTheFocusedWindowFullscreenAndAgainRestoresIt) {
    wayland::WlrootsPlatformServices services(toplevels, "");
    auto first = startProbe("probe-alpha", "org.example.Alpha");
    auto second = startProbe("probe-beta", "org.example.Beta");
    auto mode = [&](const std::string& appId) { return sway.window(appId).value("fullscreen_mode", -1); };
    services.runSystemAction("maximizeWindow", nullptr);
    ASSERT_TRUE(waitUntil([&] { return mode("org.example.Beta") == 1; })) << sway.window("org.example.Beta");
    EXPECT_EQ(mode("org.example.Alpha"), 0);
    ASSERT_TRUE(toplevels->waitFor(
        [](const auto& windows) {
            return std::any_of(windows.begin(), windows.end(), [](const auto& w) { return w.fullscreen; });
        },
        kWait));
    services.runSystemAction("maximizeWindow", nullptr);
    EXPECT_TRUE(waitUntil([&] { return mode("org.example.Beta") == 0; }));
}

TEST_F(SwayBridgeTest, PointerSettingsReachSwayAndReadBack) {
    wayland::WlrootsPlatformServices services(toplevels, "");
    // A headless sway has no pointer until a client gives it one.
    auto pointer = startProbe("probe-pointer", "org.example.Pointer", {"--virtual-pointer"});
    ASSERT_TRUE(waitUntil([&] { return services.systemWheelLines() == 3; }));
    services.applyPointerSettings(80, 50, 6);
    EXPECT_EQ(services.systemWheelLines(), 6);
    services.applyPointerSettings(80, 50, 1);
    EXPECT_EQ(services.systemWheelLines(), 1);
    // Speed and profile are libinput settings, which a virtual pointer lacks:
    // "cannot tell".
    EXPECT_EQ(services.systemPointerSpeed(), 50);
    EXPECT_EQ(services.systemAccelerationRate(), 0);
}

TEST_F(SwayBridgeTest, AfterACompositorRestartTheWindowsAreFollowedAgain) {
    auto desktop = queries();
    {
        auto before = startProbe("probe-alpha", "org.example.Alpha");
        sway.restart();
    }
    ASSERT_TRUE(waitUntil([&] { return toplevels->connected(); }));
    auto after = startProbe("probe-gamma", "org.example.Gamma");
    EXPECT_EQ(desktop.foregroundApplicationPath(), (sway.programFolder() / "probe-gamma").string());
}

} // namespace
} // namespace obx::test
