#include "core/RecordingOutput.h"
#include "driver/core/ButtonProcessor.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace obx::driver {
namespace {

class ButtonProcessorTest : public ::testing::Test {
protected:
    RecordingOutput out;
    ButtonProcessor p{out};
};

TEST_F(ButtonProcessorTest, DefaultMapSendsMouseButtonsAndHandsOtherButtonsToTheHelper) {
    for (uint32_t bit = 0; bit < 5; ++bit) {
        p.buttonChange(1u << bit, 0);
        p.buttonChange(0, 1u << bit);
        const std::string m = std::to_string(1u << bit);
        EXPECT_EQ(out.take(), (Calls{"buttons " + m + " 0", "buttons 0 " + m}));
    }
    p.buttonChange(0x20, 0);
    p.buttonChange(0, 0x20);
    EXPECT_EQ(out.take(), (Calls{"event 32 0", "event 0 32"}));
}

TEST_F(ButtonProcessorTest, HeldPanRepeatsItsStepAndItsReleaseDoesNothing) {
    p.pan(-1);
    p.pan(-3);
    p.pan(-1);
    p.pan(0);
    p.pan(0);
    EXPECT_EQ(out.take(), (Calls{"wheel 2 -120", "wheel 2 -120", "wheel 2 -120"}));
    p.pan(2);
    EXPECT_EQ(out.take(), (Calls{"wheel 2 120"}));
    EXPECT_EQ(p.rawButtons(), OBX_PAN_RIGHT);
}

TEST_F(ButtonProcessorTest, ChordFiresOneClickAndSwallowsTheLaterReleases) {
    p.setHelperRegistered(true);
    p.setButtonMap(makeMap(0x3, {{0x1, 0, 0x1, 0, 0}, {0x2, 0, 0x2, 0, 0}, {0x3, 0, 0x4, 0, 0}}));
    p.buttonChange(0x1, 0);
    p.buttonChange(0x2, 0);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "start 1 100"}));
    p.timerTick(kChordTimer);
    EXPECT_EQ(out.take(), (Calls{"buttons 4 0", "buttons 0 4"}));
    p.buttonChange(0, 0x1);
    p.buttonChange(0, 0x2);
    EXPECT_TRUE(out.take().empty());
    // The swallow is spent: the next click of button 1 goes through (held back, then replayed).
    out.waiting[kChordTimer] = false;
    p.buttonChange(0x1, 0);
    p.timerTick(kChordTimer);
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "buttons 1 0", "buttons 0 1"}));
}

TEST_F(ButtonProcessorTest, MapChangesLeaveNoReleaseOwedToAnEarlierChord) {
    // A chord fires; the profile switches to one without chords while the buttons are held, and back.
    const ButtonMap chords = makeMap(0x3, {{0x1, 0, 0x1, 0, 0}, {0x2, 0, 0x2, 0, 0}, {0x3, 0, 0x4, 0, 0}});
    p.setHelperRegistered(true);
    p.setButtonMap(chords);
    p.buttonChange(0x1, 0);
    p.buttonChange(0x2, 0);
    p.timerTick(kChordTimer);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "start 1 100", "buttons 4 0", "buttons 0 4"}));
    p.setButtonMap(makeMap(0, {{0x1, 0, 0x1, 0, 0}, {0x2, 0, 0x2, 0, 0}}));
    p.buttonChange(0, 0x1);
    p.buttonChange(0, 0x2);
    EXPECT_TRUE(out.take().empty()) << "the presses went out as the chord, so their releases do not";
    p.setButtonMap(chords);
    out.waiting[kChordTimer] = false;
    p.buttonChange(0x1, 0);
    p.timerTick(kChordTimer);
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "buttons 1 0", "buttons 0 1"}))
        << "the left button stays down";
    EXPECT_EQ(
        out.transitions,
        (Calls{"chord: idle -> press -> holding", "chord: holding -> press -> holding",
               "chord: holding -> window end -> swallowing", "chord: swallowing -> map change -> swallowing",
               "chord: swallowing -> release -> swallowing", "chord: swallowing -> release -> idle",
               "chord: idle -> press -> holding", "chord: holding -> window end -> idle"}));
}

TEST_F(ButtonProcessorTest, AMapChangeWhileAButtonIsHeldSendsItsReleaseTheWayItsPressWent) {
    const ButtonMap left = makeMap(0, {{0x1, 0, 0x1, 0, 0}});
    const ButtonMap right = makeMap(0, {{0x1, 0, 0x2, 0, 0}});
    const ButtonMap scrolls = makeMap(0, {{0x1, 1, 0, OBX_ACTION_SCROLL_UP, 0}});
    const ButtonMap none = makeMap(0, {});
    const struct {
        const char* name;
        const ButtonMap& before;
        const ButtonMap& after;
        Calls calls;
    } cases[] = {
        {"mouse button, then another", left, right, {"buttons 1 0", "buttons 0 1"}},
        {"mouse button, then an action", left, scrolls, {"buttons 1 0", "buttons 0 1"}},
        {"mouse button, then the helper's", left, none, {"buttons 1 0", "buttons 0 1"}},
        {"the helper's, then a mouse button", none, right, {"event 1 0", "event 0 1"}},
        {"an action, then a mouse button", scrolls, right, {"wheel 1 120"}},
    };
    for (const auto& c : cases) {
        p.setButtonMap(c.before);
        p.buttonChange(0x1, 0);
        p.setButtonMap(c.after);
        p.buttonChange(0, 0x1);
        EXPECT_EQ(out.take(), c.calls) << c.name;
    }
    p.buttonChange(0x1, 0);
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"buttons 2 0", "buttons 0 2"})) << "the next press follows the map";
}

TEST_F(ButtonProcessorTest, AReplayedPressReleasesTheWayItWentAfterAMapChange) {
    p.setHelperRegistered(true);
    p.setButtonMap(makeMap(0x3, {{0x1, 0, 0x1, 0, 0}}));
    p.buttonChange(0x1, 0);
    p.timerTick(kChordTimer);
    p.setButtonMap(makeMap(0, {{0x1, 0, 0x4, 0, 0}}));
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "buttons 1 0", "buttons 0 1"}));
}

TEST_F(ButtonProcessorTest, AButtonPressedAgainInsideTheWindowStaysInTheWindow) {
    p.setHelperRegistered(true);
    const ButtonMap chords = makeMap(0x3, {{0x1, 0, 0x1, 0, 0}, {0x2, 0, 0x2, 0, 0}, {0x3, 0, 0x4, 0, 0}});
    p.setButtonMap(chords);
    // Chord: the second press of button 1 went into it, so its release is swallowed.
    p.buttonChange(0x2, 0);
    p.buttonChange(0x1, 0);
    p.buttonChange(0, 0x1);
    p.buttonChange(0x1, 0);
    p.timerTick(kChordTimer);
    p.buttonChange(0, 0x3);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "start 1 100", "buttons 4 0", "buttons 0 4"}));

    // One button: the window replays both presses and the release between them; the last release
    // follows.
    out.waiting[kChordTimer] = false;
    p.buttonChange(0x1, 0);
    p.buttonChange(0, 0x1);
    p.buttonChange(0x1, 0);
    p.timerTick(kChordTimer);
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "start 1 100", "buttons 1 0", "buttons 0 1", "buttons 1 0",
                                 "buttons 0 1"}))
        << "the second press moves the window's end, as any second press in it";
}

TEST_F(ButtonProcessorTest, APressOfAButtonOwedAReleaseGetsItsReleaseThrough) {
    // Injected changes need not pair up: a second press of a chord button means its owed release was
    // lost, and the release that follows belongs to a press that went out.
    p.setHelperRegistered(true);
    p.setButtonMap(makeMap(0x3, {{0x1, 0, 0x1, 0, 0}, {0x4, 0, 0x4, 0, 0}, {0x3, 0, 0x4, 0, 0}}));
    p.buttonChange(0x1, 0);
    p.buttonChange(0x2, 0);
    p.timerTick(kChordTimer);
    out.take();
    p.buttonChange(0x4, 0);
    p.buttonChange(0x1, 0); // pending-free: button 1 opens a new window
    p.timerTick(kChordTimer);
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"buttons 4 0", "start 1 100", "buttons 1 0", "buttons 0 1"}));
    p.buttonChange(0, 0x2);
    EXPECT_TRUE(out.take().empty()) << "button 2 still owes its release";
    EXPECT_EQ(p.chordState(), ButtonLogic::ChordState::Idle);
}

TEST_F(ButtonProcessorTest, ChordResolvedByAnActionEntryAndByThePan) {
    p.setHelperRegistered(true);
    p.setButtonMap(makeMap(0x3 | OBX_PAN_RIGHT, {{0x3, 1, 0, OBX_ACTION_SCROLL_UP, 2},
                                                 {0x1 | OBX_PAN_RIGHT, 1, 0, OBX_ACTION_SCROLL_LEFT, 3}}));
    p.buttonChange(0x1, 0);
    p.buttonChange(0x2, 0);
    p.timerTick(kChordTimer);
    p.buttonChange(0, 0x3);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "start 1 100", "wheel 1 240"})) << "releases swallowed";
    // The pan is a chord member as a button is; its release is swallowed with the other.
    out.waiting[kChordTimer] = false;
    p.buttonChange(0x1, 0);
    p.pan(1);
    p.timerTick(kChordTimer);
    p.pan(0);
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "start 1 100", "wheel 2 -360"}));
    EXPECT_EQ(p.rawButtons(), 0u);
}

TEST_F(ButtonProcessorTest, ReplayedSinglePressOfAnActionEntryPerformsIt) {
    p.setHelperRegistered(true);
    p.setButtonMap(makeMap(0x3, {{0x1, 1, 0, OBX_ACTION_SCROLL_DOWN, 0}}));
    p.buttonChange(0x1, 0);
    p.timerTick(kChordTimer);
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "wheel 1 -120"})) << "the release of an action does nothing";
}

TEST_F(ButtonProcessorTest, TwoButtonChordWithoutAHelperIsDroppedAndItsReleasesPass) {
    p.setButtonMap(makeMap(0x3, {{0x1, 0, 0x1, 0, 0}, {0x2, 0, 0x2, 0, 0}, {0x3, 0, 0x4, 0, 0}}));
    p.buttonChange(0x1, 0);
    p.buttonChange(0x2, 0);
    p.timerTick(kChordTimer);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "start 1 100"}));
    p.buttonChange(0, 0x1);
    p.buttonChange(0, 0x2);
    EXPECT_EQ(out.take(), (Calls{"buttons 0 1", "buttons 0 2"})) << "nothing was fired, nothing is owed";
}

TEST_F(ButtonProcessorTest, ThirdPressInTheWindowLeavesTheTimerAlone) {
    p.setHelperRegistered(true);
    p.setButtonMap(makeMap(0x7, {}));
    p.buttonChange(0x1, 0);
    p.buttonChange(0x2, 0);
    p.buttonChange(0x4, 0);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "start 1 100"}));
    p.timerTick(kChordTimer);
    EXPECT_EQ(out.take(), (Calls{"event 7 0", "event 0 7"}));
}

TEST_F(ButtonProcessorTest, ChordReleasedInsideTheWindowSwallowsNothingLater) {
    p.setHelperRegistered(true);
    p.setButtonMap(makeMap(0x3, {{0x1, 0, 0x1, 0, 0}, {0x3, 0, 0x4, 0, 0}}));
    p.buttonChange(0x1, 0);
    p.buttonChange(0x2, 0);
    p.buttonChange(0, 0x1);
    p.buttonChange(0, 0x2);
    p.timerTick(kChordTimer);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "start 1 100", "buttons 4 0", "buttons 0 4"}));
    // Chord detection off: button 1 is a plain left button again, and its release must not be eaten.
    p.setButtonMap(makeMap(0, {{0x1, 0, 0x1, 0, 0}}));
    p.buttonChange(0x1, 0);
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"buttons 1 0", "buttons 0 1"}));
}

TEST_F(ButtonProcessorTest, SinglePressIsReplayedWithAHelperAndDroppedWithout) {
    p.setButtonMap(makeMap(0x3, {{0x1, 0, 0x1, 0, 0}}));
    p.setHelperRegistered(true);
    p.buttonChange(0x1, 0);
    EXPECT_EQ(out.take(), (Calls{"start 1 100"}));
    p.timerTick(kChordTimer);
    EXPECT_EQ(out.take(), (Calls{"buttons 1 0"}));
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"buttons 0 1"}));

    p.setHelperRegistered(false);
    out.waiting[kChordTimer] = false;
    p.buttonChange(0x1, 0);
    p.timerTick(kChordTimer);
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "buttons 0 1"}));
}

TEST_F(ButtonProcessorTest, ReplayedQueueKeepsPressAndReleaseInOrder) {
    p.setHelperRegistered(true);
    p.setButtonMap(makeMap(0x3, {{0x1, 0, 0x2, 0, 0}}));
    p.buttonChange(0x1, 0);
    p.buttonChange(0, 0x1);
    p.timerTick(kChordTimer);
    EXPECT_EQ(out.take(), (Calls{"start 1 100", "buttons 2 0", "buttons 0 2"}));
}

TEST_F(ButtonProcessorTest, QueueHoldsSixteenChangesAndLetsTheRestThrough) {
    p.setHelperRegistered(true);
    p.setButtonMap(makeMap(0xFFFF, {}));
    for (uint32_t bit = 0; bit < 16; ++bit)
        p.buttonChange(1u << bit, 0);
    out.take();
    p.buttonChange(0, 0x1); // the 17th change: the queue is full, so it passes unheld
    EXPECT_EQ(out.take(), (Calls{"event 0 1"}));
}

TEST_F(ButtonProcessorTest, EntryOfUnknownKindSwallowsTheButton) {
    p.setButtonMap(makeMap(0, {{0x2, 7, 0, 0, 0}}));
    p.buttonChange(0x2, 0);
    p.buttonChange(0, 0x2);
    EXPECT_EQ(out.take(), (Calls{"buttons 0 0", "event 0 0"}));
}

TEST_F(ButtonProcessorTest, EmptyMapHandsEveryChangeToTheHelper) {
    p.setButtonMap(makeMap(0, {}));
    p.buttonChange(0x1, 0);
    p.buttonChange(0, 0x1);
    EXPECT_EQ(out.take(), (Calls{"event 1 0", "event 0 1"}));
}

TEST_F(ButtonProcessorTest, CountAboveTheRecordIsClamped) {
    const ButtonMap map = makeMap(0, {{0x1, 0, 0x2, 0, 0}}, 1000);
    EXPECT_EQ(map.count(), OBX_BUTTON_MAP_MAX_ENTRIES);
    p.setButtonMap(map);
    p.buttonChange(0x1, 0);
    EXPECT_EQ(out.take(), (Calls{"buttons 2 0"}));
}

TEST_F(ButtonProcessorTest, SimultaneousPressAndReleaseAreEachHandled) {
    p.buttonChange(0x1, 0);
    out.take();
    p.buttonChange(0x20, 0x1);
    EXPECT_EQ(out.take(), (Calls{"buttons 0 1", "event 32 0"}));
}

// Buttons that change together in one report, under maps with and without an entry of their own.
struct TogetherCase {
    const char* name;
    std::vector<Entry> entries; // empty: the default map
    uint32_t buttons;
    Calls press;
    Calls release;
};

class ButtonsTogether : public ::testing::TestWithParam<TogetherCase> {};

TEST_P(ButtonsTogether, EachButtonIsHandledUnlessTheyHaveAnEntry) {
    const TogetherCase& c = GetParam();
    RecordingOutput out;
    ButtonProcessor p{out};
    if (!c.entries.empty())
        p.setButtonMap(makeMap(0, c.entries));
    p.buttonChange(c.buttons, 0);
    EXPECT_EQ(out.take(), c.press);
    p.buttonChange(0, c.buttons);
    EXPECT_EQ(out.take(), c.release);
}

INSTANTIATE_TEST_SUITE_P(
    OneReport, ButtonsTogether,
    ::testing::Values(
        TogetherCase{"LeftAndRight", {}, 0x3, {"buttons 1 0", "buttons 2 0"}, {"buttons 0 3"}},
        TogetherCase{
            "SixAndSevenToTheHelper", {}, 0x60, {"event 32 0", "event 64 0"}, {"event 0 32", "event 0 64"}},
        TogetherCase{
            "MouseAndHelper", {}, 0x21, {"buttons 1 0", "event 32 0"}, {"buttons 0 1", "event 0 32"}},
        TogetherCase{"TheirOwnEntry", {{0x3, 0, 0x4, 0, 0}}, 0x3, {"buttons 4 0"}, {"buttons 0 4"}},
        TogetherCase{"OneWithoutEntry",
                     {{0x1, 0, 0x2, 0, 0}},
                     0x5,
                     {"buttons 2 0", "event 4 0"},
                     {"buttons 0 2", "event 0 4"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ButtonProcessorTest, ScrollActionsAndAmounts) {
    p.setButtonMap(makeMap(0, {{0x1, 1, 0, OBX_ACTION_SCROLL_UP, 0},
                               {0x2, 1, 0, OBX_ACTION_SCROLL_DOWN, 3},
                               {0x4, 1, 0, OBX_ACTION_SCROLL_LEFT, 2},
                               {0x8, 1, 0, OBX_ACTION_SCROLL_RIGHT, 1},
                               {0x10, 1, 0, 77, 4}}));
    for (uint32_t b : {0x1u, 0x2u, 0x4u, 0x8u, 0x10u}) {
        p.buttonChange(b, 0);
        p.buttonChange(0, b);
    }
    EXPECT_EQ(out.take(),
              (Calls{"wheel 1 120", "wheel 1 -360", "wheel 2 -240", "wheel 2 120", "wheel 1 480"}));
}

TEST_F(ButtonProcessorTest, SlowPointerDividesByFiveKeepingRemainders) {
    p.setSlowPointer(true);
    for (int i = 0; i < 5; ++i)
        p.movement(1, 0);
    EXPECT_EQ(out.take(), (Calls{"move 0 0", "move 0 0", "move 0 0", "move 0 0", "move 1 0"}));
    p.movement(-7, 0);
    p.movement(-3, 0); // -3 + remainder -2 = -5
    EXPECT_EQ(out.take(), (Calls{"move -1 0", "move -1 0"}));
    // Switching the mode clears the remainders.
    p.movement(4, 0);
    p.setSlowPointer(false);
    p.setSlowPointer(true);
    p.movement(1, 0);
    EXPECT_EQ(out.take(), (Calls{"move 0 0", "move 0 0"}));
}

TEST_F(ButtonProcessorTest, SingleAxisFollowsTheDominanceCounter) {
    p.setSingleAxis(true);
    p.movement(3, 1);
    p.movement(1, 1);
    EXPECT_EQ(out.take(), (Calls{"move 3 0", "move 0 1"}));
    for (int i = 0; i < 15; ++i)
        p.movement(5, 0);
    EXPECT_EQ(p.scrollState().dominance, 10);
}

TEST_F(ButtonProcessorTest, ScrollModeTurnsMovementIntoWheelSteps) {
    p.setButtonMap(makeMap(0, {{0x8, 1, 0, OBX_ACTION_SCROLL_MODE, 5}, {0x1, 0, 0x1, 0, 0}}));
    p.buttonChange(0x8, 0);
    p.buttonChange(0, 0x8);
    p.movement(0, 12);
    EXPECT_EQ(out.take(), (Calls{"wheel 1 -240", "move 0 0"}));
    p.setScrollParams(OBX_SCROLL_PARAMS{0, 1, 0, {}});
    p.movement(0, 5); // 5 / 6 = 0: a zero step is still sent
    p.movement(0, 1); // remainder 5 + 1 = 6: one step, inverted
    EXPECT_EQ(out.take(), (Calls{"wheel 1 0", "move 0 0", "wheel 1 120", "move 0 0"}));
    // Any other button ends scroll mode.
    p.buttonChange(0x1, 0);
    p.movement(0, 12);
    EXPECT_EQ(out.take(), (Calls{"stop 3 0", "buttons 1 0", "move 0 12"}));
}

TEST_F(ButtonProcessorTest, ScrollSpeedZeroLeavesMovementAlone) {
    p.setButtonMap(makeMap(0, {{0x8, 1, 0, OBX_ACTION_SCROLL_MODE, 0}}));
    p.buttonChange(0x8, 0);
    p.movement(2, 3);
    EXPECT_EQ(out.take(), (Calls{"move 2 3"}));
}

TEST_F(ButtonProcessorTest, WheelInertiaDecaysByAFifth) {
    p.setScrollParams(OBX_SCROLL_PARAMS{0, 0, 1, {}});
    for (int i = 0; i < 5; ++i)
        p.verticalWheel(120);
    out.take();
    for (int i = 0; i < 5; ++i)
        p.timerTick(kInertiaTimer);
    EXPECT_EQ(out.take(), (Calls{"wheel 1 120", "wheel 1 120", "wheel 1 120", "wheel 1 120", "stop 2 0"}));
}

TEST_F(ButtonProcessorTest, FewNotchesOrAReversalEndInertia) {
    p.setScrollParams(OBX_SCROLL_PARAMS{0, 1, 1, {}});
    for (int i = 0; i < 4; ++i)
        p.verticalWheel(-240); // inverted: +2 detents
    p.verticalWheel(-120);
    EXPECT_EQ(p.scrollState().vertical.wheelCount, 5);
    p.verticalWheel(120); // inverted -1 detent: a reversal starts counting anew
    EXPECT_EQ(p.scrollState().vertical.wheelCount, 1);
    out.take();
    p.timerTick(kInertiaTimer);
    EXPECT_EQ(out.take(), (Calls{"stop 2 0"}));
    EXPECT_EQ(p.scrollState().activeAxis, nullptr);
}

TEST_F(ButtonProcessorTest, AutoScrollStartsOnADominantAxisAndKeepsScrolling) {
    p.setButtonMap(makeMap(0, {{0x8, 1, 0, OBX_ACTION_AUTO_SCROLL, 10}}));
    p.buttonChange(0x8, 0);
    EXPECT_TRUE(p.scrollState().scrollMode);
    for (int i = 0; i < 6; ++i)
        p.movement(0, -1); // divisor 1: vertical, amount +1
    Calls calls = out.take();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "start 3 300"), 1);
    EXPECT_EQ(p.scrollState().vertical.autoScrollStep, 10);
    p.timerTick(kAutoScrollTimer); // moved since the last tick: nothing
    p.timerTick(kAutoScrollTimer);
    EXPECT_EQ(out.take(), (Calls{"wheel 1 1200"}));
    for (int i = 0; i < 50; ++i)
        p.timerTick(kAutoScrollTimer);
    calls = out.take();
    EXPECT_EQ(calls.back(), "stop 3 0");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "wheel 1 1200"), 50);
}

TEST_F(ButtonProcessorTest, AutoScrollStopsWhenInertiaClearedTheActiveAxis) {
    p.setButtonMap(makeMap(0, {{0x8, 1, 0, OBX_ACTION_AUTO_SCROLL, 10}}));
    p.setScrollParams(OBX_SCROLL_PARAMS{0, 0, 1, {}});
    p.buttonChange(0x8, 0);
    for (int i = 0; i < 6; ++i)
        p.movement(0, -1);
    p.verticalWheel(120);
    p.timerTick(kInertiaTimer); // one notch: inertia ends and clears the active axis
    ASSERT_EQ(p.scrollState().activeAxis, nullptr);
    out.take();
    p.movement(0, -1);
    EXPECT_EQ(out.take(), (Calls{"wheel 1 120", "stop 3 0", "move 0 0"}));
    EXPECT_FALSE(p.scrollState().autoScrollRunning);
}

TEST_F(ButtonProcessorTest, AutoScrollTimerStopsOnceNothingIsLeftToScroll) {
    // Inertia cleared the axis, then scroll mode was switched off: the tick stops its timer.
    p.setButtonMap(
        makeMap(0, {{0x8, 1, 0, OBX_ACTION_AUTO_SCROLL, 10}, {0x10, 1, 0, OBX_ACTION_SCROLL_MODE, 5}}));
    p.setScrollParams(OBX_SCROLL_PARAMS{0, 0, 1, {}});
    p.buttonChange(0x8, 0);
    for (int i = 0; i < 6; ++i)
        p.movement(0, -1);
    p.verticalWheel(120);
    p.timerTick(kInertiaTimer);
    p.buttonChange(0x10, 0); // action 5 while auto-scroll runs: auto-scroll and its timer end
    EXPECT_FALSE(p.scrollState().autoScroll);
    EXPECT_FALSE(p.scrollState().scrollMode);
    EXPECT_FALSE(p.scrollState().autoScrollRunning);
    out.take();
    p.timerTick(kAutoScrollTimer); // a tick already due
    EXPECT_EQ(out.take(), (Calls{"stop 3 0"}));
    // Action 5 again: plain scroll mode, in which a late tick must not scroll.
    p.buttonChange(0, 0x10);
    p.buttonChange(0x10, 0);
    EXPECT_TRUE(p.scrollState().scrollMode);
    p.timerTick(kAutoScrollTimer);
    EXPECT_EQ(out.take(), (Calls{"stop 3 0"}));
}

TEST_F(ButtonProcessorTest, AutoScrollSwitchedOffByItsActionStopsTheTimer) {
    p.setButtonMap(makeMap(0, {{0x8, 1, 0, OBX_ACTION_AUTO_SCROLL, 10}}));
    p.buttonChange(0x8, 0);
    for (int i = 0; i < 6; ++i)
        p.movement(0, -1);
    p.buttonChange(0, 0x8);
    out.take();
    p.buttonChange(0x8, 0);
    EXPECT_EQ(out.take(), (Calls{"stop 3 0"}));
    EXPECT_FALSE(p.scrollState().autoScroll);
    EXPECT_FALSE(p.scrollState().scrollMode);
    EXPECT_FALSE(p.scrollState().autoScrollRunning);
}

TEST_F(ButtonProcessorTest, AutoScrollReversalStopsTheRun) {
    p.setButtonMap(makeMap(0, {{0x8, 1, 0, OBX_ACTION_AUTO_SCROLL, 10}}));
    p.buttonChange(0x8, 0);
    for (int i = 0; i < 6; ++i)
        p.movement(0, -1);
    out.take();
    p.movement(0, 1);
    EXPECT_EQ(out.take(), (Calls{"wheel 1 -120", "stop 3 0", "move 0 0"}));
    EXPECT_EQ(p.scrollState().dominance, 0);
}

TEST_F(ButtonProcessorTest, ExtremeValuesDoNotOverflow) {
    p.setScrollParams(OBX_SCROLL_PARAMS{0, 1, 1, {}});
    p.verticalWheel(INT32_MIN);
    p.setSingleAxis(true);
    p.movement(INT32_MIN, INT32_MAX);
    EXPECT_EQ(out.take(), (Calls{"start 2 70", "wheel 1 2147483647", "move -2147483648 0"}));
}

} // namespace
} // namespace obx::driver
