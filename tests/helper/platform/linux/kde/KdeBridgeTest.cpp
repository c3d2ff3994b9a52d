// The KDE bridge against a headless KWin: the active window's program, window
// commands, and the pointer settings as far as KWin's virtual backend has
// pointers (none). A KWin restart is shown with the helper program.

#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "HelperProcess.h"
#include "KWinCompositor.h"
#include "platform/linux/kde/KdeDesktopQueries.h"
#include "platform/linux/kde/KdePlatformServices.h"

namespace obx::test {
namespace {

// A program of the session that took org.obx.Helper, the name the focus
// script once called, before the helper started, and serves the helper's
// object under it: it counts the reports that reach it.
class NameSquatter {
public:
    explicit NameSquatter(sd_bus* bus) : bus_(bus) {
        EXPECT_GE(sd_bus_request_name(bus_, "org.obx.Helper", 0), 0);
        EXPECT_GE(sd_bus_add_object_vtable(bus_, nullptr, kde::KWinActiveWindow::objectPath,
                                           kde::KWinActiveWindow::interfaceName, vtable, &reports_),
                  0);
    }
    int reports() {
        while (sd_bus_process(bus_, nullptr) > 0) {
        }
        return reports_;
    }

private:
    static int onReport(sd_bus_message* call, void* reports, sd_bus_error*) {
        ++*static_cast<int*>(reports);
        return sd_bus_reply_method_return(call, "");
    }
    static constexpr sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("WindowActivated", "sss", "", &NameSquatter::onReport, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END};

    sd_bus* bus_;
    int reports_ = 0;
};

class KdeBridgeTest : public ::testing::Test {
protected:
    KdeBridgeTest() {
        const auto entry = kwin.busEnvironment();
        setenv("DBUS_SESSION_BUS_ADDRESS", entry.substr(entry.find('=') + 1).c_str(), 1);
        windows = std::make_shared<kde::KWinActiveWindow>(kde::kwinScriptFolder());
    }
    ~KdeBridgeTest() override {
        windows.reset();
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    std::string program(const std::string& name) const { return (kwin.programFolder() / name).string(); }

    // A probe whose window KWin made active; its program as the queries see it.
    KWinClient startActive(const std::string& program, const std::string& appId) {
        auto client = kwin.startProbe(program, appId);
        EXPECT_TRUE(waitUntil([&] { return windows->active().resourceClass == appId; })) << appId;
        return client;
    }

    KWinCompositor kwin;
    NameSquatter squatter{kwin.bus()};
    std::shared_ptr<kde::KWinActiveWindow> windows;
    kde::KdeDesktopQueries queries() { return {windows, "/proc", ""}; }
};

TEST_F(KdeBridgeTest, TheActiveWindowsProgramFollowsTheFocus) {
    auto desktop = queries();
    auto alpha = startActive("probe-alpha", "org.example.Alpha");
    const auto alphaWindow = desktop.foregroundWindow();
    EXPECT_NE(alphaWindow, 0u);
    EXPECT_EQ(desktop.foregroundApplicationPath(), program("probe-alpha"));
    auto beta = startActive("probe-beta", "org.example.Beta");
    EXPECT_NE(desktop.foregroundWindow(), alphaWindow);
    EXPECT_EQ(desktop.foregroundApplicationPath(), program("probe-beta"));

    kwin.activate("org.example.Alpha");
    ASSERT_TRUE(waitUntil([&] { return windows->active().resourceClass == "org.example.Alpha"; }));
    EXPECT_EQ(desktop.foregroundApplicationPath(), program("probe-alpha"));
    EXPECT_EQ(desktop.pressedModifiers(), 0u);

    // Only KWin may say which window is active.
    sd_bus_error error = SD_BUS_ERROR_NULL;
    EXPECT_LT(sd_bus_call_method(kwin.bus(), windows->busName().c_str(), kde::KWinActiveWindow::objectPath,
                                 kde::KWinActiveWindow::interfaceName, "WindowActivated", &error, nullptr,
                                 "sss", "1", "org.example.Forged", "{forged}"),
              0);
    sd_bus_error_free(&error);
    EXPECT_EQ(windows->active().resourceClass, "org.example.Alpha");
    EXPECT_EQ(squatter.reports(), 0);
}

TEST_F(KdeBridgeTest, WindowCommandsReachTheActiveWindowOnly) {
    kde::KdePlatformServices services(kde::kwinScriptFolder(), "");
    auto alpha = startActive("probe-alpha", "org.example.Alpha");
    auto beta = startActive("probe-beta", "org.example.Beta");
    auto maximized = [&](const KWinClient& client) {
        const auto text = readFile(client.output);
        const auto last = text.rfind("configure");
        return last != std::string::npos && text.find("maximized", last) != std::string::npos;
    };
    services.runSystemAction("maximizeWindow", nullptr);
    ASSERT_TRUE(waitUntil([&] { return maximized(beta); })) << readFile(beta.output);
    EXPECT_FALSE(maximized(alpha));
    // KWin toggles by the state the client has answered: a press that comes
    // before the probe's answer reached KWin maximizes once more.
    bool restored = false;
    for (int press = 0; press < 5 && !restored; ++press) {
        services.runSystemAction("maximizeWindow", nullptr);
        restored = waitUntil([&] { return !maximized(beta); }, 2s);
    }
    EXPECT_TRUE(restored) << readFile(beta.output);

    // Every window of another program goes; the active one stays.
    services.runSystemAction("minimizeAll", nullptr);
    EXPECT_TRUE(waitUntil([&] { return kwin.minimized("org.example.Alpha"); }));
    EXPECT_FALSE(kwin.minimized("org.example.Beta"));

    services.runSystemAction("closeWindow", nullptr);
    EXPECT_EQ(beta.process->waitExit(kWait), 0);
    EXPECT_TRUE(alpha.process->running());

    auto gamma = startActive("probe-gamma", "org.example.Gamma");
    services.runSystemAction("minimizeWindow", nullptr);
    EXPECT_TRUE(waitUntil([&] { return kwin.minimized("org.example.Gamma"); }));

    // KWin's virtual backend has no input devices: the settings read back
    // as "cannot tell".
    services.applyPointerSettings(80, 50, 6);
    EXPECT_EQ(services.systemPointerSpeed(), 50);
    EXPECT_EQ(services.systemWheelLines(), 1);
}

} // namespace
} // namespace obx::test
