// The GNOME bridge against a headless GNOME Shell with our extension: the
// focused window's program, window commands, pointer settings, a Shell
// restart.

#include "GnomeShellSession.h"
#include "HelperProcess.h"
#include "SwayCompositor.h"
#include "platform/linux/gnome/GnomeDesktopQueries.h"
#include "platform/linux/gnome/GnomePlatformServices.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>

namespace obx::test {
namespace {

namespace fs = std::filesystem;
using gnome::ShellFocus;

class GnomeBridgeTest : public ::testing::Test {
protected:
    GnomeBridgeTest() {
        // The settings store's connection raises SIGTERM when the session
        // bus closes, which the test's end does.
        struct sigaction ignored {};
        ignored.sa_handler = [](int) {};
        sigaction(SIGTERM, &ignored, nullptr);
        shell.enter();
        watch = std::make_shared<gnome::ShellFocusWatch>();
    }

    fs::path output(const std::string& program) const {
        return shell.home().parent_path() / (program + ".out");
    }

    // Starts a renamed copy of the probe and waits until its window has the focus.
    std::unique_ptr<SpawnedProcess> startProbe(const std::string& program, const std::string& appId) {
        auto client =
            shell.startClient({probeCopy(shell.programFolder(), program).string(), appId}, output(program));
        EXPECT_TRUE(focusIs(appId)) << appId;
        return client;
    }

    bool focusIs(const std::string& appId) {
        return watch->waitFor(
            [&](const std::optional<ShellFocus>& focus) { return focus && focus->appId == appId; }, kWait);
    }

    std::string program(const std::string& name) const { return (shell.programFolder() / name).string(); }

    // Whether the probe's last configure had the state.
    bool lastConfigureMaximized(const std::string& program) const {
        std::ifstream input(output(program));
        std::string line;
        std::string last;
        while (std::getline(input, line)) {
            if (line.starts_with("configure ")) {
                last = line;
            }
        }
        return last.ends_with(" maximized");
    }

    gnome::GnomeDesktopQueries queries() const { return gnome::GnomeDesktopQueries(watch, {"/proc", ""}); }

    GnomeShellSession shell{true};
    std::shared_ptr<gnome::ShellFocusWatch> watch;
};

// The Shell does not give a new window the focus while another has it (it
// has no proof that the user asked for the window), so the first window is
// minimized before the second starts.
TEST_F(GnomeBridgeTest, TheProgramFollowsTheFocusAndWindowCommandsReachTheFocusedWindowOnly) {
    auto desktop = queries();
    gnome::GnomePlatformServices services("");
    auto alpha = startProbe("probe-alpha", "org.example.Alpha");
    const auto alphaWindow = desktop.foregroundWindow();
    EXPECT_NE(alphaWindow, 0u);
    EXPECT_EQ(desktop.foregroundApplicationPath(), program("probe-alpha"));
    EXPECT_EQ(desktop.pressedModifiers(), 0u);

    services.runSystemAction("minimizeWindow", nullptr);
    ASSERT_TRUE(watch->waitFor([](const auto& focus) { return focus && focus->window == 0; }, kWait));
    EXPECT_EQ(desktop.foregroundApplicationPath(), "");
    auto beta = startProbe("probe-beta", "org.example.Beta");
    EXPECT_NE(desktop.foregroundWindow(), alphaWindow);
    EXPECT_EQ(desktop.foregroundApplicationPath(), program("probe-beta"));

    services.runSystemAction("closeWindow", nullptr);
    EXPECT_EQ(beta->waitExit(kWait), 0);
    EXPECT_TRUE(alpha->running());
}

TEST_F(GnomeBridgeTest, MaximizeMaximizesTheFocusedWindowAndAgainRestoresIt) {
    gnome::GnomePlatformServices services("");
    auto alpha = startProbe("probe-alpha", "org.example.Alpha");
    services.runSystemAction("maximizeWindow", nullptr);
    ASSERT_TRUE(waitUntil([&] { return lastConfigureMaximized("probe-alpha"); }));
    services.runSystemAction("maximizeWindow", nullptr);
    EXPECT_TRUE(waitUntil([&] { return !lastConfigureMaximized("probe-alpha"); }));
}

TEST_F(GnomeBridgeTest, PointerSettingsReachGSettingsAndReadBack) {
    struct Case {
        int speed, rate;
        double stored;
        const char* profile;
        int readSpeed, readRate;
    };
    const Case cases[] = {{80, 0, 0.6, "'flat'", 80, 0},
                          {50, 100, 0.0, "'adaptive'", 50, 10},
                          {0, 34, -0.9, "'adaptive'", 5, 10}};
    gnome::GnomePlatformServices services("");
    for (const auto& c : cases) {
        services.applyPointerSettings(c.speed, c.rate, 1);
        EXPECT_NEAR(std::stod(shell.setting(gnome::mouseSchema, "speed")), c.stored, 1e-9) << c.speed;
        EXPECT_EQ(shell.setting(gnome::mouseSchema, "accel-profile"), c.profile) << c.speed;
        EXPECT_EQ(services.systemPointerSpeed(), c.readSpeed) << c.speed;
        EXPECT_EQ(services.systemAccelerationRate(), c.readRate) << c.speed;
    }
    EXPECT_EQ(services.systemWheelLines(), 1);
    EXPECT_EQ(shell.run({"gsettings", "set", gnome::mouseSchema, "natural-scroll", "true"}), 0);
    EXPECT_TRUE(waitUntil([&] { return services.systemScrollInvert(); }));
}

TEST_F(GnomeBridgeTest, AfterAShellRestartTheFocusIsFollowedAgain) {
    auto desktop = queries();
    {
        auto before = startProbe("probe-alpha", "org.example.Alpha");
        shell.restart();
    }
    auto after = startProbe("probe-gamma", "org.example.Gamma");
    EXPECT_EQ(desktop.foregroundApplicationPath(), program("probe-gamma"));
}

} // namespace
} // namespace obx::test
