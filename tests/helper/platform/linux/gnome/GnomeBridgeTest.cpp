// The GNOME bridge against a headless GNOME Shell with our extension: the
// focused window's program, window commands, pointer settings, a Shell
// restart.

#include "GnomeShellSession.h"
#include "HelperProcess.h"
#include "SwayCompositor.h"
#include "platform/linux/gnome/GnomeDesktopQueries.h"
#include "platform/linux/gnome/GnomePlatformServices.h"

#include <array>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace obx::test {
namespace {

namespace fs = std::filesystem;
using gnome::ShellFocus;

class GnomeBridgeTest : public ::testing::Test {
protected:
    GnomeBridgeTest() {
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

// The settings store keeps its files as the session's user, and a root
// process would take its shared memory file from it: the services run as that
// user, in a child process, which answers the values they read back.
using Readback = std::array<int, 4>; // speed, acceleration, wheel lines, inversion

Readback asSessionUser(const std::function<Readback()>& work) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return {-1, -1, -1, -1};
    }
    const pid_t child = fork();
    if (child == 0) {
        ::close(fds[0]);
        const uid_t user = compositorUser();
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0)) {
            _exit(1);
        }
        const auto values = work();
        _exit(::write(fds[1], values.data(), sizeof values) == sizeof values ? 0 : 1);
    }
    ::close(fds[1]);
    Readback values{-1, -1, -1, -1};
    if (child < 0 || ::read(fds[0], values.data(), sizeof values) != sizeof values) {
        values = {-1, -1, -1, -1};
    }
    ::close(fds[0]);
    if (child > 0) {
        waitpid(child, nullptr, 0);
    }
    return values;
}

Readback applyAndReadBack(int speed, int rate) {
    return asSessionUser([&] {
        gnome::GnomePlatformServices services("");
        if (speed >= 0) {
            services.applyPointerSettings(speed, rate, 1);
        }
        return Readback{services.systemPointerSpeed(), services.systemAccelerationRate(),
                        services.systemWheelLines(), services.systemScrollInvert() ? 1 : 0};
    });
}

TEST_F(GnomeBridgeTest, PointerSettingsReachGSettingsAndReadBack) {
    struct Case {
        int speed, rate;
        double stored;
        const char* profile;
        Readback read;
    };
    const Case cases[] = {{80, 0, 0.6, "'flat'", {80, 0, 1, 0}},
                          {50, 100, 0.0, "'adaptive'", {50, 10, 1, 0}},
                          {0, 34, -0.9, "'adaptive'", {5, 10, 1, 0}}};
    for (const auto& c : cases) {
        EXPECT_EQ(applyAndReadBack(c.speed, c.rate), c.read) << c.speed;
        EXPECT_NEAR(std::stod(shell.setting(gnome::mouseSchema, "speed")), c.stored, 1e-9) << c.speed;
        EXPECT_EQ(shell.setting(gnome::mouseSchema, "accel-profile"), c.profile) << c.speed;
    }
    EXPECT_EQ(shell.run({"gsettings", "set", gnome::mouseSchema, "natural-scroll", "true"}), 0);
    EXPECT_EQ(applyAndReadBack(-1, 0), (Readback{5, 10, 1, 1}));
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
