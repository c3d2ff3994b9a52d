// Gestures from a virtual trackball of obxkernd, through the helper's device
// layer and worker, to a client on a private Xvfb.

#include "GestureScenarios.h"
#include "X11Fixture.h"

#include <X11/keysym.h>
#include <optional>
#include <thread>

namespace obx::x11::test {
namespace {

using obx::test::GestureScenario;

// Each press the probe got, as the scenarios write it.
std::vector<std::string> pressesOf(const std::vector<ProbeEvent>& events) {
    std::vector<std::string> presses;
    for (const auto& event : events) {
        if (event.type == KeyPress) {
            presses.push_back(std::string("key ") + XKeysymToString(event.rawKeysym));
        } else if (event.type == ButtonPress) {
            presses.push_back("button " + std::to_string(event.button));
        }
    }
    return presses;
}

class GestureOnX11 : public X11Test, public ::testing::WithParamInterface<GestureScenario> {};

TEST_P(GestureOnX11, TheChosenActionReachesTheClientAndTheDriverSendsNothing) {
    obx::test::VirtualTrackballRig rig(std::move(services));
    ASSERT_TRUE(rig.started());
    const auto& scenario = GetParam();
    obx::test::playGesture(rig, scenario);
    // A press and a release each.
    probe->waitForEvents(2 * scenario.presses.size());
    rig.expectNothingBeforeAMove();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(pressesOf(probe->events()), scenario.presses);
    EXPECT_EQ(probe->events().size(), 2 * scenario.presses.size());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, GestureOnX11, ::testing::ValuesIn(obx::test::gestureScenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace obx::x11::test
