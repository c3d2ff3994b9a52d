#include "core/RecordingOutput.h"
#include "driver/core/ButtonProcessor.h"

#include <gtest/gtest.h>

namespace obx::driver {
namespace {

constexpr uint32_t kButton = 0x8; // button 4, a mouse button that a tap can click

Entry gesture(uint32_t buttons, uint8_t mode, uint8_t flags = 0, uint16_t threshold = 100) {
    return Entry{buttons, OBX_MAP_GESTURE, 0, 0, 0, {mode, flags, threshold}};
}

constexpr uint8_t kOnce = OBX_GESTURE_TRAVEL_ONCE;
constexpr uint8_t kNone = OBX_GESTURE_TRAVEL_NONE;

TEST(GestureDecision, TheTravelWhileHeldDecidesWhatTheReleaseDoes) {
    const struct {
        const char* name;
        uint8_t mode, flags;
        std::vector<std::pair<int32_t, int32_t>> moves;
        Calls calls; // from the press to the release
        bool filtersOn = false, helper = true;
    } cases[] = {
        {"up at the threshold", kOnce, 0, {{0, -60}, {0, -40}}, {"gesture 8 up 1"}},
        {"one short is a tap", kOnce, 0, {{0, -99}}, {"gesture 8 tap 1"}},
        {"a tap clicks its own button",
         kOnce,
         OBX_GESTURE_TAP_CLICK,
         {{0, 99}},
         {"buttons 8 0", "buttons 0 8"}},
        {"the larger net travel wins", kOnce, 0, {{-150, 0}, {0, 120}, {0, 20}}, {"gesture 8 left 1"}},
        {"down on a tie", kOnce, 0, {{100, 100}}, {"gesture 8 down 1"}},
        {"back below it is nothing", kOnce, 0, {{120, 0}, {-30, 0}}, {}},
        // Filtered, the moves would be (12, 0) and (0, -22): a tap.
        {"raw counts decide", kOnce, 0, {{60, 0}, {60, -110}}, {"gesture 8 right 1"}, true},
        {"NONE moves the pointer", kNone, 0, {{5, 0}}, {"move 5 0", "gesture 8 tap 1"}},
        {"NONE past the threshold is no tap", kNone, 0, {{100, 0}}, {"move 100 0"}},
        {"REPEAT without a step is a tap", OBX_GESTURE_TRAVEL_REPEAT, 0, {{0, 99}}, {"gesture 8 tap 1"}},
        {"no helper: no event", kOnce, 0, {{0, -100}}, {}, false, false},
        {"no helper: still the click",
         kOnce,
         OBX_GESTURE_TAP_CLICK,
         {},
         {"buttons 8 0", "buttons 0 8"},
         false,
         false},
    };
    for (const auto& c : cases) {
        RecordingOutput out;
        ButtonProcessor p{out};
        p.setHelperRegistered(c.helper);
        p.setSlowPointer(c.filtersOn);
        p.setSingleAxis(c.filtersOn);
        p.setButtonMap(makeMap(0, {gesture(kButton, c.mode, c.flags)}));
        p.buttonChange(kButton, 0);
        for (const auto& [dx, dy] : c.moves)
            p.movement(dx, dy);
        p.buttonChange(0, kButton);
        EXPECT_EQ(out.take(), c.calls) << c.name;
        EXPECT_EQ(p.gestureState(), GestureLogic::State::Idle) << c.name;
    }
}

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
    for (const auto& [dx, dy] : {std::pair{0, -120}, {0, 100}, {900, 0}, {0, -500}, {0, 520}})
        p.movement(dx, dy); // back, sideways and forth again: the fourth step waits for 400
    EXPECT_TRUE(out.take().empty());
    p.movement(0, 120);
    EXPECT_EQ(out.take(), (Calls{"gesture 8 down 1"}));
    p.buttonChange(0, kButton);
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
    for (const std::string end : {"map change", "removal"}) {
        p.setButtonMap(map);
        p.buttonChange(kButton, 0);
        end == "removal" ? p.removal() : p.setButtonMap(map);
        p.movement(3, 0);
        p.buttonChange(0, kButton);
        EXPECT_EQ(out.take(), (Calls{"move 3 0"})) << end;
        EXPECT_EQ(out.transitions.back(), "gesture: held -> " + end + " -> idle");
    }
}

TEST_F(GestureTest, ThePressEndsScrollModeAndAnotherButtonRulesOutTheTap) {
    p.setButtonMap(
        makeMap(0, {{0x10, OBX_MAP_ACTION, 0, OBX_ACTION_SCROLL_MODE, 5}, gesture(kButton, kOnce)}));
    p.buttonChange(0x10, 0);
    p.buttonChange(kButton, 0);
    p.buttonChange(0x20, 0);
    p.buttonChange(0, kButton);
    EXPECT_EQ(out.take(), (Calls{"stop 3 0", "event 32 0"}));
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
