#include "core/RecordingOutput.h"
#include "driver/core/ButtonProcessor.h"

#include <functional>
#include <gtest/gtest.h>

namespace obx::driver {
namespace {

constexpr uint32_t kButton = 0x8; // button 4, a mouse button that a tap can click

Entry gesture(uint32_t buttons, uint8_t mode, uint8_t flags = 0, uint16_t threshold = 100) {
    return Entry{buttons, OBX_MAP_GESTURE, 0, 0, 0, {mode, flags, threshold}};
}

struct Move {
    int32_t dx, dy;
};

struct DecisionCase {
    const char* name;
    uint8_t mode;
    uint8_t flags;
    std::vector<Move> moves;
    Calls calls; // between the press and the end of the release
    bool slowPointerAndSingleAxis = false;
};

class GestureDecision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(GestureDecision, TheTravelWhileHeldDecidesWhatTheReleaseDoes) {
    const DecisionCase& c = GetParam();
    RecordingOutput out;
    ButtonProcessor p{out};
    p.setHelperRegistered(true);
    p.setSlowPointer(c.slowPointerAndSingleAxis);
    p.setSingleAxis(c.slowPointerAndSingleAxis);
    p.setButtonMap(makeMap(0, {gesture(kButton, c.mode, c.flags)}));
    p.buttonChange(kButton, 0);
    for (const Move& m : c.moves)
        p.movement(m.dx, m.dy);
    p.buttonChange(0, kButton);
    EXPECT_EQ(out.take(), c.calls);
    EXPECT_EQ(p.gestureState(), GestureLogic::State::Idle);
}

constexpr uint8_t kOnce = OBX_GESTURE_TRAVEL_ONCE;
INSTANTIATE_TEST_SUITE_P(
    Threshold100, GestureDecision,
    ::testing::Values(
        DecisionCase{"UpAtTheThreshold", kOnce, 0, {{0, -60}, {0, -40}}, {"gesture 8 up 1"}},
        DecisionCase{"OneShortIsATap", kOnce, 0, {{0, -99}}, {"gesture 8 tap 1"}},
        DecisionCase{
            "TapClicksItsOwnButton", kOnce, OBX_GESTURE_TAP_CLICK, {{0, 99}}, {"buttons 8 0", "buttons 0 8"}},
        DecisionCase{"LargerNetTravelWins", kOnce, 0, {{-150, 0}, {0, 120}, {0, 20}}, {"gesture 8 left 1"}},
        DecisionCase{"DownOnATie", kOnce, 0, {{100, 100}}, {"gesture 8 down 1"}},
        DecisionCase{"BackBelowItIsNothing", kOnce, 0, {{120, 0}, {-30, 0}}, {}},
        // Filtered, the moves would be (12, 0) and (0, -22): a tap.
        DecisionCase{"RawCountsDecide", kOnce, 0, {{60, 0}, {60, -110}}, {"gesture 8 right 1"}, true},
        DecisionCase{
            "NoneMovesThePointer", OBX_GESTURE_TRAVEL_NONE, 0, {{5, 0}}, {"move 5 0", "gesture 8 tap 1"}},
        DecisionCase{"NonePastTheThresholdIsNoTap", OBX_GESTURE_TRAVEL_NONE, 0, {{100, 0}}, {"move 100 0"}},
        DecisionCase{
            "RepeatWithoutAStepIsATap", OBX_GESTURE_TRAVEL_REPEAT, 0, {{0, 99}}, {"gesture 8 tap 1"}}),
    [](const auto& info) { return std::string(info.param.name); });

class GestureTest : public ::testing::Test {
protected:
    void SetUp() override { p.setHelperRegistered(true); }
    RecordingOutput out;
    ButtonProcessor p{out};
};

TEST_F(GestureTest, RepeatStepsOnceAThresholdInTheFirstDirectionOnly) {
    p.setButtonMap(makeMap(0, {gesture(kButton, OBX_GESTURE_TRAVEL_REPEAT)}));
    p.buttonChange(kButton, 0);
    p.movement(0, 150);
    p.movement(0, 150);
    EXPECT_EQ(out.take(), (Calls{"gesture 8 down 1", "gesture 8 down 1", "gesture 8 down 1"}));
    for (const Move m : {Move{0, -120}, Move{0, 100}, Move{900, 0}, Move{0, -500}, Move{0, 520}})
        p.movement(m.dx, m.dy); // back, sideways and forth again: the fourth step waits for 400
    EXPECT_TRUE(out.take().empty());
    p.movement(0, 120);
    p.buttonChange(0, kButton);
    EXPECT_EQ(out.take(), (Calls{"gesture 8 down 1"}));
    EXPECT_EQ(out.transitions,
              (Calls{"gesture: idle -> press -> held", "gesture: held -> travel -> repeating",
                     "gesture: repeating -> release -> idle"}));
}

TEST_F(GestureTest, TheWheelWhileHeldIsTheGesturesAndThePointerMovesInModeNone) {
    p.setButtonMap(makeMap(0, {gesture(kButton, OBX_GESTURE_TRAVEL_NONE, OBX_GESTURE_WHEEL),
                               {OBX_PAN_LEFT, OBX_MAP_ACTION, 0, OBX_ACTION_SCROLL_LEFT, 1}}));
    p.buttonChange(kButton, 0);
    for (const int32_t delta : {120, 60, 60, -360})
        p.verticalWheel(delta);
    p.movement(5, 0);
    p.pan(-1);
    p.pan(-1, 2); // half a notch
    p.pan(0);
    p.buttonChange(0, kButton);
    EXPECT_EQ(out.take(), (Calls{"gesture 8 wheel-up 1", "gesture 8 wheel-up 1", "gesture 8 wheel-down 3",
                                 "move 5 0", "gesture 8 pan-left 1"}))
        << "no scrolling, and no tap after the wheel turned";
    p.verticalWheel(120);
    p.pan(-1);
    EXPECT_EQ(out.take(), (Calls{"wheel 1 120", "wheel 2 -120"})) << "released, they scroll again";
}

TEST_F(GestureTest, AChordEntryIsAGestureThatCountsTheMotionOfItsWindow) {
    p.setButtonMap(makeMap(0x3, {{0x1, OBX_MAP_BUTTONS, 0x1, 0, 0}, gesture(0x3, kOnce)}));
    p.buttonChange(0x1, 0);
    p.movement(0, -60);
    p.buttonChange(0x2, 0);
    p.movement(0, -50);
    p.timerTick(kChordTimer);
    p.buttonChange(0, 0x1);
    p.buttonChange(0, 0x2);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "start 1 100", "gesture 3 up 1"}));
    // One button of it: the motion held back goes out after the replayed press.
    out.waiting[kChordTimer] = false;
    p.buttonChange(0x1, 0);
    p.movement(4, 0);
    p.timerTick(kChordTimer);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "buttons 1 0", "move 4 0"}));
}

TEST_F(GestureTest, AMapChangeOrARemovalEndsItWithoutOutput) {
    const ButtonMap map = makeMap(0, {gesture(kButton, kOnce, OBX_GESTURE_TAP_CLICK)});
    const struct {
        const char* name;
        std::function<void()> end;
        const char* trace;
    } cases[] = {{"map change", [&] { p.setButtonMap(map); }, "gesture: held -> map change -> idle"},
                 {"removal", [&] { p.removal(); }, "gesture: held -> removal -> idle"}};
    for (const auto& c : cases) {
        p.setButtonMap(map);
        p.buttonChange(kButton, 0);
        c.end();
        p.movement(3, 0);
        p.buttonChange(0, kButton);
        EXPECT_EQ(out.take(), (Calls{"move 3 0"})) << c.name;
        EXPECT_EQ(out.transitions.back(), c.trace);
    }
}

TEST_F(GestureTest, ThePressEndsScrollModeAndAnotherButtonRulesOutTheTap) {
    p.setButtonMap(
        makeMap(0, {{0x10, OBX_MAP_ACTION, 0, OBX_ACTION_SCROLL_MODE, 5}, gesture(kButton, kOnce)}));
    p.buttonChange(0x10, 0);
    p.buttonChange(kButton, 0);
    EXPECT_FALSE(p.scrollState().scrollMode);
    p.buttonChange(0x20, 0);
    p.buttonChange(0, kButton);
    EXPECT_EQ(out.take(), (Calls{"stop 3 0", "event 32 0"}));
}

TEST_F(GestureTest, WithoutAHelperOnlyTheTapClickIsLeft) {
    p.setHelperRegistered(false);
    for (const uint8_t flags : {uint8_t{0}, uint8_t{OBX_GESTURE_TAP_CLICK}}) {
        p.setButtonMap(makeMap(0, {gesture(kButton, kOnce, flags)}));
        p.buttonChange(kButton, 0);
        p.buttonChange(0, kButton);
    }
    EXPECT_EQ(out.take(), (Calls{"buttons 8 0", "buttons 0 8"}));
}

TEST(GestureMap, ThresholdsAreClampedAndAnUnknownModeSwallowsTheButtons) {
    const ButtonMap map = makeMap(0, {gesture(0x1, kOnce, 0xFF, 0), gesture(0x2, kOnce, 0, 5),
                                      gesture(0x4, kOnce, 0, 5000), gesture(0x8, 3)});
    EXPECT_EQ(map.find(0x1)->threshold, 200);
    EXPECT_EQ(map.find(0x1)->flags, OBX_GESTURE_WHEEL | OBX_GESTURE_TAP_CLICK);
    EXPECT_EQ(map.find(0x2)->threshold, 10);
    EXPECT_EQ(map.find(0x4)->threshold, 2000);
    EXPECT_EQ(map.find(0x8)->kind, OBX_MAP_BUTTONS);
    EXPECT_EQ(map.find(0x8)->output, 0u);
    EXPECT_EQ(map.travelGestureButtons(), 0x7u);
}

} // namespace
} // namespace obx::driver
