// The snippet menu of the KDE bridge against a headless KWin: it opens at the
// pointer, the user's pointer and keys (fake input) choose or dismiss it, and
// KWin going away while it is open ends the wait with nothing chosen.

#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "HelperProcess.h"
#include "KWinCompositor.h"
#include "KWinUserInput.h"
#include "MenuRows.h"
#include "base/LogCapture.h"
#include "platform/linux/kde/KdePlatformServices.h"
#include "support/Environment.h"

#include <future>
#include <linux/input-event-codes.h>

namespace obx::test {
namespace {

const std::vector<std::string> contents{"first snippet", "second snippet", "third"};

// The KDE services' menu on a KWin of its own, with the user's pointer and
// keyboard played through fake input.
class KWinMenuTest : public ::testing::Test {
protected:
    KWinMenuTest() { setEnvironmentVariable("WAYLAND_DISPLAY", kwin.waylandDisplay()); }
    ~KWinMenuTest() override { unsetEnvironmentVariable("WAYLAND_DISPLAY"); }

    // Opens the menu; returns once it is open at x, y (KWin's 1024 x 768).
    std::future<std::string> openAt(int x, int y) {
        logs.clear();
        auto chosen =
            std::async(std::launch::async, [this] { return services.showSnippetMenu(contents, {}); });
        const auto line = "LayerMenu - open at " + std::to_string(x) + ", " + std::to_string(y) +
                          " of an output of 1024 x 768";
        EXPECT_TRUE(waitUntil([&] {
            const auto texts = logs.texts();
            return std::find(texts.begin(), texts.end(), line) != texts.end();
        })) << testing::PrintToString(logs.texts());
        return chosen;
    }

    // The menu's answer; a menu that does not close fails the test and is
    // ended with a KWin restart, so that the test does not hang.
    std::string result(std::future<std::string>& chosen) {
        if (chosen.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the menu did not close";
            kwin.restart();
            chosen.wait();
            return "<open>";
        }
        return chosen.get();
    }

    KWinCompositor kwin;
    KWinUserInput user{kwin};
    LogCapture logs;
    kde::KdePlatformServices services{kde::kwinScriptFolder(), ""};
    const MenuRows rows{contents, {}};
};

TEST_F(KWinMenuTest, OpensAtThePointerAndIsChosenByPointerOrKeys) {
    user.moveTo(300, 200);
    auto chosen = openAt(300, 200);
    user.moveTo(320, 200 + rows.middles[1]);
    user.click(BTN_LEFT);
    EXPECT_EQ(result(chosen), contents[1]);

    chosen = openAt(320, 200 + rows.middles[1]);
    user.moveTo(100, 100);
    user.click(BTN_LEFT);
    EXPECT_EQ(result(chosen), "");

    chosen = openAt(100, 100);
    user.tap(KEY_DOWN);
    user.tap(KEY_ESC);
    EXPECT_EQ(result(chosen), "");

    chosen = openAt(100, 100);
    user.tap(KEY_DOWN);
    user.tap(KEY_DOWN);
    user.tap(KEY_ENTER);
    EXPECT_EQ(result(chosen), contents[1]);
}

TEST_F(KWinMenuTest, KWinGoingAwayEndsTheMenuWithNothingChosen) {
    user.moveTo(300, 200);
    auto chosen = openAt(300, 200);
    kwin.restart();
    EXPECT_EQ(result(chosen), "");
}

} // namespace
} // namespace obx::test
