// The snippet menu of the KDE bridge against a headless KWin: KWin takes the
// layer-shell overlay and places it, and KWin going away while the menu is
// open ends the wait with nothing chosen. KWin gives clients no input
// devices of their own, so choosing is shown on sway.

#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "HelperProcess.h"
#include "KWinCompositor.h"
#include "base/LogCapture.h"
#include "platform/linux/kde/KdePlatformServices.h"
#include "support/Environment.h"

#include <future>

namespace obx::test {
namespace {

TEST(KWinMenuTest, TheMenuOpensOnKWinAndEndsWhenKWinGoesAway) {
    KWinCompositor kwin;
    setEnvironmentVariable("WAYLAND_DISPLAY", kwin.waylandDisplay());
    LogCapture logs;
    kde::KdePlatformServices services(kde::kwinScriptFolder(), "");
    auto chosen = std::async(std::launch::async, [&] {
        return services.showSnippetMenu({"one", "two"}, {});
    });
    const auto opened = [&] {
        for (const auto& text : logs.texts()) {
            if (text.starts_with("LayerMenu - open at ") && text.ends_with("of an output of 1024 x 768")) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(waitUntil(opened)) << testing::PrintToString(logs.texts());
    EXPECT_EQ(chosen.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    kwin.restart();
    ASSERT_EQ(chosen.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(chosen.get(), "");
    unsetEnvironmentVariable("WAYLAND_DISPLAY");
}

} // namespace
} // namespace obx::test
