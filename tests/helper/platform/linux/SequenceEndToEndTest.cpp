// Sequences from a press of a virtual trackball of obxkernd, through the
// helper's device layer and worker, to a client on a private Xvfb.

#include "VirtualTrackballRig.h"
#include "X11Fixture.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace obx::x11::test {
namespace {

using nlohmann::json;

json keystroke(int keyCode) {
    return {{"type", "keystroke"}, {"keyCode", keyCode}};
}

class SequenceOnX11 : public X11Test {
protected:
    void SetUp() override {
        X11Test::SetUp();
        rig.emplace(std::move(services));
        ASSERT_TRUE(rig->started());
    }
    void TearDown() override { rig.reset(); }
    void setAction(std::uint32_t mask, const json& action) { rig->setAction(mask, action); }
    // A press and release of the trackball's buttons in mask.
    void click(std::uint8_t mask) {
        ASSERT_TRUE(rig->send(mask));
        ASSERT_TRUE(rig->send(0));
    }

    std::optional<obx::test::VirtualTrackballRig> rig;
};

TEST_F(SequenceOnX11, StepsReachTheClientInOrderWithThePauseBetweenThem) {
    setAction(0x4, {{"command", "sequence"},
                    {"steps",
                     {keystroke(0x41),
                      {{"type", "pause"}, {"ms", 200}},
                      keystroke(0x42),
                      {{"type", "text"}, {"text", "c"}},
                      {{"type", "click"}, {"button", 1}}}}});
    click(0x4);

    const auto events = probe->waitForEvents(8);
    ASSERT_EQ(events.size(), 8u);
    const std::vector<std::pair<int, unsigned long>> expected{
        {KeyPress, XK_a}, {KeyRelease, XK_a}, {KeyPress, XK_b},        {KeyRelease, XK_b},
        {KeyPress, XK_c}, {KeyRelease, XK_c}, {ButtonPress, NoSymbol}, {ButtonRelease, NoSymbol}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(events[i].type, expected[i].first) << "event " << i;
        EXPECT_EQ(events[i].rawKeysym, expected[i].second) << "event " << i;
    }
    EXPECT_EQ(events[6].button, 1u);
    // The server stamps each event in milliseconds when it makes it.
    const auto pause = static_cast<long>(events[2].time - events[1].time);
    EXPECT_GE(pause, 199) << "the pause is kept";
    EXPECT_LT(pause, 600) << "and ends on time, on a loaded machine too";
}

TEST_F(SequenceOnX11, APressDuringThePauseIsReadAndCutsTheSequenceShortLettingGoOfItsKey) {
    setAction(0x4, {{"command", "sequence"},
                    {"steps",
                     {{{"type", "keyDown"}, {"modifiers", "shift"}},
                      {{"type", "pause"}, {"ms", 3000}},
                      keystroke(0x42)}}});
    setAction(0x2, {{"command", "none"}});
    const auto started = std::chrono::steady_clock::now();
    click(0x4);
    ASSERT_EQ(probe->waitForEvents(1).size(), 1u);
    click(0x2);

    const auto events = probe->waitForEvents(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].type, KeyRelease);
    EXPECT_EQ(events[1].rawKeysym, static_cast<unsigned long>(XK_Shift_L));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2500))
        << "let go long before the pause would have ended";
    std::this_thread::sleep_for(std::chrono::milliseconds(3200) -
                                (std::chrono::steady_clock::now() - started));
    EXPECT_EQ(probe->events().size(), 2u) << "the rest never runs";
}

} // namespace
} // namespace obx::x11::test
