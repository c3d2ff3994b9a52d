// The snippet menu of the wlroots bridge against a headless sway: it opens at
// the pointer, the user's pointer and keys choose or dismiss it, the chosen
// snippet is typed into the client that had the focus, and a compositor that
// dies while it is open ends it.

#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "MenuRows.h"
#include "SwayInputTest.h"
#include "UserKeyboard.h"
#include "UserPointer.h"
#include "actions/Actions.h"
#include "actions/PlatformServicesImpl.h"
#include "base/LogCapture.h"
#include "settings/DeviceConfig.h"
#include "support/FakeDevice.h"

#include <future>
#include <linux/input-event-codes.h>

namespace obx::test {
namespace {

constexpr int outputWidth = 1024;
constexpr int outputHeight = 768;
constexpr auto menuWait = std::chrono::seconds(10);

const std::vector<std::string> contents{"first snippet", "second snippet: Grüße ☃", "third"};
const std::vector<std::string> labels{"First", "Second", ""};

class SwayMenuTest : public SwayInputTest {
protected:
    void SetUp() override {
        client = startReporter();
        keyboard = std::make_unique<UserKeyboard>(sway.waylandDisplay(), "us");
        ASSERT_TRUE(waitForLine("keymap English (US)")) << testing::PrintToString(reported());
        pointer = std::make_unique<UserPointer>(sway.waylandDisplay(), outputWidth, outputHeight);
    }

    // Opens the menu at the pointer; returns once it holds the keyboard.
    std::future<std::string> open() {
        const auto start = reported().size();
        auto chosen =
            std::async(std::launch::async, [this] { return services.showSnippetMenu(contents, labels); });
        EXPECT_TRUE(waitForLine("focus leave", start)) << testing::PrintToString(reported());
        return chosen;
    }

    // The menu's answer; a menu that does not close fails the test and is
    // ended with its compositor, so that the test does not hang.
    std::string result(std::future<std::string>& chosen) {
        if (!closes(chosen)) {
            return "<open>";
        }
        return chosen.get();
    }
    template <typename Future>
    bool closes(Future& call) {
        if (call.wait_for(menuWait) == std::future_status::ready) {
            return true;
        }
        ADD_FAILURE() << "the menu did not close";
        sway.kill();
        call.wait();
        return false;
    }

    // The text the reporting client received since the line index.
    std::string typedSince(std::size_t start) const {
        std::string typed;
        for (const auto& line : reportedFrom(start, "key ")) {
            if (line.find(" down mods= text=") != std::string::npos) {
                typed += line.substr(line.find("text=") + 5);
            }
        }
        return typed;
    }

    std::unique_ptr<SpawnedProcess> client;
    std::unique_ptr<UserKeyboard> keyboard;
    std::unique_ptr<UserPointer> pointer;
    const MenuRows rows{contents, labels};
};

TEST_F(SwayMenuTest, TheSnippetMenuActionOpensAtThePointerAndTypesTheEntryClicked) {
    DeviceConfig config(nullptr);
    for (std::size_t slot = 0; slot < contents.size(); ++slot) {
        config.setSnippet(contents[slot], labels[slot], static_cast<int>(slot));
    }
    installPlatformServices(std::make_unique<wayland::WlrootsPlatformServices>(toplevels, ""));
    struct Installed {
        ~Installed() { destroyPlatformServices(); }
    } installed;
    const auto action = createAction(&config, {{"command", "snippetMenu"}});
    FakeDevice device;
    constexpr int x = 300, y = 200;
    pointer->moveTo(x, y);
    const auto start = reported().size();
    auto done = std::async(std::launch::async, [&] { action->execute(device, true); });
    ASSERT_TRUE(waitForLine("focus leave", start)) << testing::PrintToString(reported());
    // The second entry's row, counted from the pointer where the menu opened.
    pointer->moveTo(x + 20, y + rows.middles[1]);
    pointer->click(BTN_LEFT);
    ASSERT_TRUE(closes(done));
    EXPECT_TRUE(waitUntil([&] { return typedSince(start) == contents[1]; }))
        << testing::PrintToString(reported());
}

TEST_F(SwayMenuTest, AClickOutsideTheMenuDismissesIt) {
    pointer->moveTo(300, 200);
    auto chosen = open();
    pointer->moveTo(250, 150);
    pointer->click(BTN_LEFT);
    EXPECT_EQ(result(chosen), "");
}

TEST_F(SwayMenuTest, KeysChooseOrDismissWithTheHighlight) {
    pointer->moveTo(300, 200);
    auto chosen = open();
    keyboard->tap(KEY_DOWN);
    keyboard->tap(KEY_ESC);
    EXPECT_EQ(result(chosen), "");

    chosen = open();
    keyboard->tap(KEY_DOWN);
    keyboard->tap(KEY_DOWN);
    keyboard->tap(KEY_ENTER);
    EXPECT_EQ(result(chosen), contents[1]);
}

TEST_F(SwayMenuTest, TheMenuStaysInsideTheOutputInItsCorner) {
    pointer->moveTo(outputWidth - 1, outputHeight - 1);
    auto chosen = open();
    // Moved left and up so that it fits: its last row ends at the bottom.
    pointer->moveTo(outputWidth - rows.width + 20, outputHeight - rows.height + rows.middles[2]);
    pointer->click(BTN_LEFT);
    EXPECT_EQ(result(chosen), contents[2]);
}

TEST_F(SwayMenuTest, OnAScaledOutputTheMenuIsPlacedInLogicalPixels) {
    sway.ipc().run("output HEADLESS-1 scale 2");
    pointer = std::make_unique<UserPointer>(sway.waylandDisplay(), outputWidth / 2, outputHeight / 2);
    pointer->moveTo(100, 100);
    auto chosen = open();
    pointer->moveTo(100 + 20, 100 + rows.middles[1]);
    pointer->click(BTN_LEFT);
    EXPECT_EQ(result(chosen), contents[1]);
}

TEST_F(SwayMenuTest, WithTwoOutputsTheMenuOpensOnThePointersAndAClickOnTheOtherDismisses) {
    // A second output right of the first, as large: the layout is twice as
    // wide. The pointer's output has an empty workspace, which takes the
    // keyboard from the client, so the menu's own log tells that it is open.
    sway.ipc().run("create_output");
    sway.ipc().run("output HEADLESS-2 resolution 1024x768 position 1024 0");
    pointer = std::make_unique<UserPointer>(sway.waylandDisplay(), 2 * outputWidth, outputHeight);
    LogCapture logs;
    const auto openAt = [&](const std::string& where) {
        const auto line = "LayerMenu - open at " + where + " of an output of 1024 x 768";
        return waitUntil([&] {
            const auto texts = logs.texts();
            return std::find(texts.begin(), texts.end(), line) != texts.end();
        });
    };
    const int x = outputWidth + 300, y = 200;
    pointer->moveTo(x, y);
    auto chosen =
        std::async(std::launch::async, [this] { return services.showSnippetMenu(contents, labels); });
    ASSERT_TRUE(openAt("300, 200"));
    pointer->moveTo(x + 20, y + rows.middles[2]);
    pointer->click(BTN_LEFT);
    EXPECT_EQ(result(chosen), contents[2]);

    logs.clear();
    chosen = std::async(std::launch::async, [this] { return services.showSnippetMenu(contents, labels); });
    ASSERT_TRUE(openAt(std::to_string(300 + 20) + ", " + std::to_string(200 + rows.middles[2])));
    pointer->moveTo(300, 200);
    pointer->click(BTN_LEFT);
    EXPECT_EQ(result(chosen), "");
}

TEST_F(SwayMenuTest, ACompositorThatDiesEndsTheMenuWithNothingChosen) {
    pointer->moveTo(300, 200);
    auto chosen = open();
    pointer.reset();
    keyboard.reset();
    sway.kill();
    EXPECT_EQ(result(chosen), "");
}

} // namespace
} // namespace obx::test
