// Gestures from a virtual trackball of obxkernd, through the helper's device
// layer and worker and the wlroots bridge, to a client of ours on a headless
// sway: the scenarios of the X11 test.

#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "GestureScenarios.h"
#include "SwayInputTest.h"
#include "UserKeyboard.h"

#include <sstream>
#include <thread>

namespace obx::test {
namespace {

class SwayGestureTest : public SwayInputTest, public ::testing::WithParamInterface<GestureScenario> {
protected:
    // Each press the client reported from the index on, as the scenarios write it.
    std::vector<std::string> pressesFrom(std::size_t from) const {
        std::vector<std::string> presses;
        const auto lines = reported();
        for (std::size_t index = from; index < lines.size(); ++index) {
            std::istringstream fields(lines[index]);
            std::string kind;
            std::string name;
            std::string state;
            fields >> kind >> name >> state;
            if (kind == "key" && state == "down") {
                presses.push_back("key " + name);
            } else if (kind == "button" && state == "down") {
                // Linux's button codes from BTN_LEFT (0x110) on.
                presses.push_back("button " + std::to_string(std::stoi(name) - 0x110 + 1));
            }
        }
        return presses;
    }
};

TEST_P(SwayGestureTest, TheChosenActionReachesTheClientAndTheDriverSendsNothing) {
    const auto clients = startReporterUnderThePointer();
    ASSERT_FALSE(HasFailure());
    UserKeyboard keyboard(sway.waylandDisplay(), "us");
    ASSERT_TRUE(waitForLine("keymap English (US)"));
    const auto start = reported().size();
    VirtualTrackballRig rig(std::make_unique<wayland::WlrootsPlatformServices>(toplevels, ""));
    ASSERT_TRUE(rig.started());
    const auto& scenario = GetParam();
    playGesture(rig, scenario);
    waitUntil([&] { return pressesFrom(start).size() >= scenario.presses.size(); });
    rig.expectNothingBeforeAMove();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(pressesFrom(start), scenario.presses) << testing::PrintToString(reported());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, SwayGestureTest, ::testing::ValuesIn(gestureScenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace obx::test
