// The obxhelper program on a headless KWin: it chooses the KDE bridge, the
// profiles follow the active program, also after KWin restarted, and its
// KWin script is gone from KWin when it ends.

#include "HelperProcess.h"
#include "KWinCompositor.h"
#include "RunningHelper.h"
#include "platform/linux/kde/KWinActiveWindow.h"

#include <csignal>
#include <gtest/gtest.h>

namespace obx::test {
namespace {

class KdeHelperProgramTest : public ::testing::Test {
protected:
    KdeHelperProgramTest() {
        const auto bus = kwin.busEnvironment();
        setting.setEnvironment("DBUS_SESSION_BUS_ADDRESS", bus.substr(bus.find('=') + 1));
        setting.setEnvironment("XDG_SESSION_TYPE", "wayland");
        setting.setEnvironment("WAYLAND_DISPLAY", kwin.waylandDisplay());
        setting.setEnvironment("DISPLAY", "");
    }

    bool logged(const std::string& text) {
        return waitUntil([&] { return setting.log().find(text) != std::string::npos; });
    }

    // A renamed copy of the probe, started; true once the helper switched to it.
    bool focusFollows(const std::string& program, std::vector<KWinClient>& clients) {
        clients.push_back(kwin.startProbe(program, "org.example." + program));
        return logged("Foreground window has changed: " + (kwin.programFolder() / program).string());
    }

    bool scriptLoaded() {
        sd_bus_message* reply = nullptr;
        int loaded = 0;
        if (sd_bus_call_method(kwin.bus(), "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                               "isScriptLoaded", nullptr, &reply, "s",
                               kde::KWinActiveWindow::scriptName) >= 0) {
            sd_bus_message_read(reply, "b", &loaded);
        }
        sd_bus_message_unref(reply);
        return loaded != 0;
    }

    KWinCompositor kwin;
    HelperSetting setting;
};

TEST_F(KdeHelperProgramTest, ProfilesFollowTheActiveProgramAlsoAfterKWinRestarted) {
    VirtualTrackball trackball(setting);
    ASSERT_TRUE(trackball.ready());
    {
        RunningHelper helper(setting, {"--logLevel", "1"});
        ASSERT_TRUE(helper.started());
        EXPECT_TRUE(logged("Desktop bridge: KDE - Wayland session (WAYLAND_DISPLAY=" + kwin.waylandDisplay() +
                           ") of KWin (org.kde.KWin on the session bus)"))
            << setting.log();
        std::vector<KWinClient> clients;
        ASSERT_TRUE(focusFollows("probe-alpha", clients)) << setting.log();
        ASSERT_TRUE(focusFollows("probe-beta", clients)) << setting.log();

        kwin.restart();
        clients.clear();
        EXPECT_TRUE(logged("KWin left the session bus")) << setting.log();
        EXPECT_TRUE(focusFollows("probe-gamma", clients)) << setting.log();
        EXPECT_TRUE(scriptLoaded());
        helper.process().signal(SIGTERM);
        EXPECT_EQ(helper.process().waitExit(), 0) << setting.log();
    }
    EXPECT_FALSE(scriptLoaded()) << setting.log();
}

} // namespace
} // namespace obx::test
