// The obxhelper program on a headless GNOME Shell whose user has not enabled
// our extension yet: it chooses the GNOME bridge, enables the extension, and
// the profiles follow the focused program, also after the Shell restarted.

#include "GnomeShellSession.h"
#include "HelperProcess.h"
#include "RunningHelper.h"
#include "SwayCompositor.h"
#include "platform/linux/gnome/ShellBridgeBus.h"

#include <gtest/gtest.h>

namespace obx::test {
namespace {

class GnomeHelperProgramTest : public ::testing::Test {
protected:
    GnomeHelperProgramTest() {
        // The helper's own settings folder stays the setting's.
        for (const auto& entry : shell.environment()) {
            if (!entry.starts_with("XDG_CONFIG_HOME=")) {
                const auto equals = entry.find('=');
                setting.setEnvironment(entry.substr(0, equals), entry.substr(equals + 1));
            }
        }
    }

    bool logged(const std::string& text) {
        return waitUntil([&] { return setting.log().find(text) != std::string::npos; });
    }

    // A renamed copy of the probe, started; true once the helper switched to it.
    bool focusFollows(const std::string& program, std::vector<std::unique_ptr<SpawnedProcess>>& clients) {
        const auto path = probeCopy(shell.programFolder(), program);
        clients.push_back(shell.startClient({path.string(), "org.example." + program},
                                            shell.home().parent_path() / (program + ".out")));
        return logged("Foreground window has changed: " + path.string());
    }

    GnomeShellSession shell{false};
    HelperSetting setting;
};

TEST_F(GnomeHelperProgramTest, TheHelperEnablesTheExtensionAndProfilesFollowAlsoAfterAShellRestart) {
    VirtualTrackball trackball(setting);
    ASSERT_TRUE(trackball.ready());
    RunningHelper helper(setting, {"--logLevel", "1"});
    ASSERT_TRUE(helper.started());
    EXPECT_TRUE(logged("Desktop bridge: GNOME - Wayland session (WAYLAND_DISPLAY=" + shell.waylandDisplay() +
                       ") of GNOME Shell (org.gnome.Shell on the session bus)"))
        << setting.log();
    EXPECT_TRUE(logged(std::string("Enabled the GNOME Shell extension ") + gnome::extensionUuid + ", " +
                       gnome::scriptExtensionUuid +
                       " for this user. GNOME loads new extensions at the next sign-in"))
        << setting.log();
    EXPECT_EQ(shell.setting("org.gnome.shell", "enabled-extensions"), enabledExtensionsValue());
    EXPECT_TRUE(std::filesystem::exists(setting.dataFolder() / "gnome-extension-enabled"));
    // The Shell serves the desktop notifications itself.
    EXPECT_EQ(setting.log().find("The desktop did not show a notification"), std::string::npos)
        << setting.log();
    // A Shell that found the extension at its start enables it at once.
    ASSERT_TRUE(waitUntil([&] { return shell.owned(gnome::bridgeBusName); }));

    std::vector<std::unique_ptr<SpawnedProcess>> clients;
    ASSERT_TRUE(focusFollows("probe-alpha", clients)) << setting.log();
    // The Shell gives a new window the focus only while no other has it.
    clients.clear();
    ASSERT_TRUE(focusFollows("probe-beta", clients)) << setting.log();

    shell.restart();
    clients.clear();
    EXPECT_TRUE(logged("GNOME Shell's bridge extension left the session bus")) << setting.log();
    EXPECT_TRUE(focusFollows("probe-gamma", clients)) << setting.log();
}

// The user switches the extension off in the Extensions app (which asks the
// Shell to disable it): the page's status resource says so, and no longer
// once it is on again.
TEST(GnomeExtensionNoticeTest, AnExtensionSwitchedOffByTheUserIsReportedByTheStatusResource) {
    GnomeShellSession shell(true);
    HelperSetting setting;
    for (const auto& entry : shell.environment()) {
        if (!entry.starts_with("XDG_CONFIG_HOME=")) {
            const auto equals = entry.find('=');
            setting.setEnvironment(entry.substr(0, equals), entry.substr(equals + 1));
        }
    }
    VirtualTrackball trackball(setting);
    ASSERT_TRUE(trackball.ready());
    RunningHelper helper(setting, {"--logLevel", "1"});
    ASSERT_TRUE(helper.started());
    const std::string notice =
        "The trackball helper's GNOME Shell extension is switched off: turn it on in the "
        "Extensions app";
    const auto reported = [&] {
        return httpGet(setting.port(), "/status").find(notice) != std::string::npos;
    };
    const auto extensions = [&](const char* method) {
        return shell.run({"gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path",
                          "/org/gnome/Shell", "--method", std::string("org.gnome.Shell.Extensions.") + method,
                          gnome::extensionUuidFor(43)});
    };
    ASSERT_TRUE(waitUntil([&] { return setting.log().find("Desktop bridge: GNOME") != std::string::npos; }));
    EXPECT_FALSE(reported());
    ASSERT_EQ(extensions("DisableExtension"), 0);
    EXPECT_TRUE(waitUntil(reported)) << httpGet(setting.port(), "/status") << setting.log();
    EXPECT_NE(setting.log().find(notice), std::string::npos);
    ASSERT_EQ(extensions("EnableExtension"), 0);
    EXPECT_TRUE(waitUntil([&] { return !reported(); })) << httpGet(setting.port(), "/status");
}

} // namespace
} // namespace obx::test
