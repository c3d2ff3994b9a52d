// The obxhelper program on a headless sway: it chooses the wlroots bridge and
// the profiles follow the focused program, also after sway restarted.

#include "HelperProcess.h"
#include "RunningHelper.h"
#include "SwayCompositor.h"

#include <gtest/gtest.h>

namespace obx::test {
namespace {

class SwayHelperProgramTest : public ::testing::Test {
protected:
    SwayHelperProgramTest() {
        setting.setEnvironment("XDG_SESSION_TYPE", "wayland");
        setting.setEnvironment("WAYLAND_DISPLAY", sway.waylandDisplay());
        setting.setEnvironment("SWAYSOCK", sway.ipcSocket().string());
        setting.setEnvironment("DISPLAY", "");
    }

    bool logged(const std::string& text) {
        return waitUntil([&] { return setting.log().find(text) != std::string::npos; });
    }

    // A renamed copy of the probe, started; true once the helper switched to it.
    bool focusFollows(const std::string& program, std::vector<std::unique_ptr<SpawnedProcess>>& clients) {
        const auto path = probeCopy(sway.programFolder(), program);
        clients.push_back(sway.startClient({path.string(), "org.example." + program}));
        return logged("Foreground window has changed: " + path.string());
    }

    SwayCompositor sway;
    HelperSetting setting;
};

TEST_F(SwayHelperProgramTest, ProfilesFollowTheFocusedProgramAlsoAfterTheCompositorRestarted) {
    VirtualTrackball trackball(setting);
    ASSERT_TRUE(trackball.ready());
    RunningHelper helper(setting, {"--logLevel", "1"});
    ASSERT_TRUE(helper.started());
    EXPECT_TRUE(logged("Desktop bridge: wlroots - Wayland session (WAYLAND_DISPLAY=" + sway.waylandDisplay() +
                       ") whose compositor offers zwlr_foreign_toplevel_manager_v1"))
        << setting.log();
    std::vector<std::unique_ptr<SpawnedProcess>> clients;
    ASSERT_TRUE(focusFollows("probe-alpha", clients)) << setting.log();
    ASSERT_TRUE(focusFollows("probe-beta", clients)) << setting.log();

    sway.restart();
    clients.clear();
    EXPECT_TRUE(logged("The Wayland compositor ended the connection")) << setting.log();
    EXPECT_TRUE(focusFollows("probe-gamma", clients)) << setting.log();
}

} // namespace
} // namespace obx::test
