// Input of the wlroots bridge against a headless sway: keystrokes on the
// user's layout, exact text, a double click; a client of ours reports what
// it receives.

#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "ReportedClicks.h"
#include "SwayInputTest.h"
#include "UserKeyboard.h"

#include <sstream>
#include <thread>

namespace obx::test {
namespace {

struct Layout {
    const char* name;
    const char* keymapLine; // as the client names the layout
};

void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.name;
}

class SwayKeystrokeTest : public SwayInputTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(SwayKeystrokeTest, CtrlAReachesTheFocusedClientWithCtrlHeld) {
    auto client = startReporter();
    UserKeyboard keyboard(sway.waylandDisplay(), GetParam().name);
    ASSERT_TRUE(waitForLine(GetParam().keymapLine)) << testing::PrintToString(reported());
    const auto start = reported().size();
    pressCtrlA();
    ASSERT_TRUE(waitForLine("key Control_L up mods=Control text=", start))
        << testing::PrintToString(reported());
    const std::vector<std::string> expected{
        "key Control_L down mods= text=", "key a down mods=Control text=", "key a up mods=Control text=",
        "key Control_L up mods=Control text="};
    EXPECT_EQ(reportedFrom(start, "key "), expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SwayKeystrokeTest,
                         ::testing::Values(Layout{"us", "keymap English (US)"},
                                           Layout{"fr", "keymap French"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SwayInputTest, TheSnippetArrivesExactlyAndTheUsersKeymapComesBack) {
    const std::string snippet = "Grüße, Zoë! café 世界 ☃ 😀";
    auto client = startReporter();
    UserKeyboard keyboard(sway.waylandDisplay(), "fr");
    ASSERT_TRUE(waitForLine("keymap French"));
    const auto start = reported().size();
    services.typeText(snippet);
    // Ctrl+A after the snippet: the AZERTY keymap is back for keystrokes.
    pressCtrlA();
    ASSERT_TRUE(waitForLine("key Control_L up mods=Control text=", start))
        << testing::PrintToString(reported());
    EXPECT_EQ(typedFrom(start), snippet);
    EXPECT_EQ(reportedFrom(start, "key a down mods=Control").size(), 1u)
        << testing::PrintToString(reported());
    EXPECT_EQ(reportedFrom(start, "keymap ").back(), "keymap French");
}

TEST_F(SwayInputTest, ALongSnippetReachesAClientThatReadsSlowlyWhole) {
    // About 4,000 characters; the client reads 1,000 keys a second, far
    // fewer than go out, so unpaced they would pile up beyond what the
    // compositor holds for it and it would cut the client off.
    std::string snippet;
    for (int copy = 0; copy < 167; ++copy) {
        snippet += "Grüße, Zoë! café 世界 ☃ 😀 ";
    }
    auto client = startReporter("1");
    UserKeyboard keyboard(sway.waylandDisplay(), "us");
    ASSERT_TRUE(waitForLine("keymap English (US)"));
    const auto start = reported().size();
    services.typeText(snippet);
    std::string typed;
    waitUntil(
        [&] {
            typed = typedFrom(start);
            return typed == snippet || !client->running();
        },
        std::chrono::seconds(30));
    EXPECT_TRUE(client->running());
    EXPECT_EQ(typed.size(), snippet.size());
    EXPECT_TRUE(typed == snippet);
}

TEST_F(SwayInputTest, ADoubleClickReachesTheClientUnderThePointerWithItsTiming) {
    const auto clients = startReporterUnderThePointer();
    ASSERT_FALSE(HasFailure());
    constexpr auto gap = std::chrono::milliseconds(60);
    for (int click = 0; click < 2; ++click) {
        services.sendMouseButton(1, true);
        services.sendMouseButton(1, false);
        if (click == 0) {
            std::this_thread::sleep_for(gap);
        }
    }
    ASSERT_TRUE(waitUntil([&] { return reportedFrom(0, "button ").size() >= 4; }))
        << testing::PrintToString(reported());
    const auto buttons = reportedFrom(0, "button ");
    ASSERT_EQ(buttons.size(), 4u);
    const auto times = leftClickTimes(buttons);
    EXPECT_GE(times[2] - times[1], gap.count());
    EXPECT_LT(times[3] - times[0], 1000);
}

} // namespace
} // namespace obx::test
