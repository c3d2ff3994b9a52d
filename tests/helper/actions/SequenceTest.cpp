#include "RefusedForm.h"
#include "actions/Actions.h"
#include "actions/SequencePlayer.h"
#include "base/LogCapture.h"
#include "settings/DeviceConfig.h"
#include "support/ErrorText.h"
#include "support/FakeDevice.h"
#include "support/RecordingPlatformServices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;
using test::FormRefusal;
using test::PlatformCall;
using test::refusalName;
using test::RefusedForm;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

PlatformCall keys(std::uint32_t modifiers, std::uint32_t keyCode, bool down) {
    return {"sendKeystroke", json::array({modifiers, keyCode, down, keyCode == 0})};
}

PlatformCall mouse(std::uint32_t mask, bool down) {
    return {"sendMouseButton", json::array({mask, down})};
}

json sequence(json steps) {
    return {{"command", "sequence"}, {"steps", std::move(steps)}};
}

json pause(int ms) {
    return {{"type", "pause"}, {"ms", ms}};
}

json steps(std::size_t count, const json& step) {
    return json(std::vector<json>(count, step));
}

const json keyA{{"type", "keystroke"}, {"keyCode", 0x41}};

INSTANTIATE_TEST_SUITE_P(
    Sequence, RefusedForm,
    ::testing::Values(
        FormRefusal{"unknownField",
                    {{"command", "sequence"}, {"steps", json::array({keyA})}, {"repeat", 2}},
                    "Sequence has no field \"repeat\" (it takes \"steps\")"},
        FormRefusal{"noSteps", sequence(json::array()), "Sequence has 0 steps, not 1 to 64"},
        FormRefusal{"tooMany", sequence(steps(65, keyA)), "Sequence has 65 steps, not 1 to 64"},
        FormRefusal{"unknownType", sequence({keyA, {{"type", "wait"}}}),
                    "Sequence step 2 has the unknown type \"wait\" (keyDown, keyUp, keystroke, text, click, "
                    "buttonDown, buttonUp, pause)"},
        FormRefusal{"unknownStepField", sequence({{{"type", "pause"}, {"ms", 5}, {"keyCode", 65}}}),
                    "Sequence step 1 has no field \"keyCode\" (a pause step takes \"ms\")"},
        FormRefusal{"emptyFieldName", sequence({{{"type", "text"}, {"text", "a"}, {"", 1}}}),
                    "Sequence step 1 has no field \"\" (a text step takes \"text\")"},
        FormRefusal{"missingField", sequence({{{"type", "click"}}}), "Sequence step 1 needs \"button\""},
        FormRefusal{"pauseZero", sequence({pause(0)}),
                    "Sequence step 1 has \"ms\" 0, not a whole number from 1 to 5000"},
        FormRefusal{"pauseTooLong", sequence({pause(5001)}),
                    "Sequence step 1 has \"ms\" 5001, not a whole number from 1 to 5000"},
        FormRefusal{"pauseFraction", sequence({{{"type", "pause"}, {"ms", 2.5}}}),
                    "Sequence step 1 has \"ms\" 2.5, not a whole number from 1 to 5000"},
        FormRefusal{"pausesInAll", sequence({pause(5000), pause(5000), pause(1)}),
                    "Sequence step 3 makes the pauses 10001 ms in all, more than 10000"},
        FormRefusal{"keyCode", sequence({{{"type", "keystroke"}, {"keyCode", 255}}}),
                    "Sequence step 1 has \"keyCode\" 255, not a whole number from 1 to 254"},
        FormRefusal{"button", sequence({{{"type", "click"}, {"button", 6}}}),
                    "Sequence step 1 has \"button\" 6, not a whole number from 1 to 5"},
        FormRefusal{
            "modifiers", sequence({{{"type", "keystroke"}, {"keyCode", 65}, {"modifiers", "ctrl,hyper"}}}),
            "Sequence step 1 has \"modifiers\" \"ctrl,hyper\" (names: alt, ctrl, shift, win, joined by "
            "commas)"},
        FormRefusal{"emptyText", sequence({{{"type", "text"}, {"text", ""}}}),
                    "Sequence step 1 has \"text\" that is no text of 1 to 4096 bytes"},
        FormRefusal{"keyDownOfNothing", sequence({{{"type", "keyDown"}}}),
                    "Sequence step 1 needs \"keyCode\" or \"modifiers\""},
        FormRefusal{"upNotHeld",
                    sequence({{{"type", "keyDown"}, {"keyCode", 65}},
                              {{"type", "keyUp"}, {"keyCode", 65}, {"modifiers", "shift"}}}),
                    "Sequence step 2 lets go of what no earlier step holds (the same key or button and "
                    "modifiers)"},
        FormRefusal{
            "downTwice",
            sequence({{{"type", "buttonDown"}, {"button", 1}}, {{"type", "buttonDown"}, {"button", 1}}}),
            "Sequence step 2 presses what an earlier step already holds"}),
    refusalName);

TEST(SequenceFormTest, TheBoundsThemselvesAreTaken) {
    EXPECT_NO_THROW(createAction(nullptr, sequence(steps(64, keyA))));
    EXPECT_NO_THROW(createAction(nullptr, sequence({pause(5000), pause(5000)})));
    EXPECT_NO_THROW(createAction(nullptr, sequence({{{"type", "text"}, {"text", std::string(4096, 'a')}}})));
}

TEST(SequenceFormTest, WritesBackWhatItRead) {
    const json written = json::array({{{"type", "keyDown"}, {"modifiers", "ctrl"}},
                                      {{"type", "keystroke"}, {"keyCode", 67}, {"modifiers", "alt,shift"}},
                                      {{"type", "text"}, {"text", "hé"}},
                                      {{"type", "click"}, {"button", 2}},
                                      {{"type", "buttonDown"}, {"button", 1}, {"modifiers", "shift"}},
                                      pause(200),
                                      {{"type", "buttonUp"}, {"button", 1}, {"modifiers", "shift"}},
                                      {{"type", "keyUp"}, {"modifiers", "ctrl"}}});
    json out = json::object();
    createAction(nullptr, sequence(written))->toJson(out);
    EXPECT_EQ(out.at("steps"), written);
}

TEST(SequenceFormTest, TheOlderFormWithoutStepsIsReadAsBeforeAndDoesNothing) {
    test::ScopedRecordingPlatform platform;
    test::FakeDevice device;
    const auto action = createAction(nullptr, {{"command", "sequence"}, {"argument", 3}});
    action->execute(device, true);
    EXPECT_FALSE(sequencePlayer().playing());
    EXPECT_THAT(platform->inputCalls(), IsEmpty());
}

TEST(SequenceFormTest, ARefusedEntryLeavesItsButtonAsItWas) {
    DeviceConfig config(nullptr, DeviceConfig::Blank{});
    config.setButtonAction(0x20, {{"command", "none"}});
    EXPECT_EQ(test::errorText([&] { config.setButtonAction(0x20, sequence({pause(9000)})); }),
              "Sequence step 1 has \"ms\" 9000, not a whole number from 1 to 5000");
    EXPECT_EQ(config.commands().at(0x20), R"({"command":"none"})");
    EXPECT_EQ(config.actions().at(0x20)->name(), "none");
}

TEST(SequenceFormTest, AStoredRefusedSequenceCostsOnlyItsButtonUntilAnImportIsChecked) {
    LogCapture logs;
    DeviceConfig config(nullptr, DeviceConfig::Blank{});
    config.mergeCommands(
        {{0x20, sequence({pause(6000)})}, {0x40, {{"command", "none"}}}, {0x80, {{"command", "bogus"}}}});
    EXPECT_FALSE(config.actions().contains(0x20));
    EXPECT_TRUE(config.commands().contains(0x20)) << "the stored text stays";
    EXPECT_TRUE(config.actions().contains(0x40));
    EXPECT_TRUE(logs.contains(LogLevel::error,
                              "Error converting '32' into action object: Sequence step 1 has "
                              "\"ms\" 6000, not a whole number from 1 to 5000"));
    EXPECT_EQ(test::errorText([&] { config.requireAcceptedActions(); }),
              "Button 0x20: Sequence step 1 has \"ms\" 6000, not a whole number from 1 to 5000");
    config.mergeCommands({{0x20, {{"command", "none"}}}});
    EXPECT_NO_THROW(config.requireAcceptedActions()) << "an unknown older kind is tolerated";
}

class RecordingClock : public SequenceClock {
public:
    void wakeAfter(std::chrono::milliseconds delay) override { waits.push_back(delay); }
    void stopWaking() override { ++stops; }
    std::vector<std::chrono::milliseconds> waits;
    int stops = 0;
};

class SequencePlay : public ::testing::Test {
protected:
    SequencePlay() { sequencePlayer().useClock(&clock); }
    ~SequencePlay() override {
        sequencePlayer().cutShort();
        sequencePlayer().useClock(nullptr);
    }
    void press(const json& action) { createAction(nullptr, action)->execute(device, true); }
    std::vector<PlatformCall> takeCalls() {
        auto calls = platform->inputCalls();
        platform->clear();
        return calls;
    }

    test::ScopedRecordingPlatform platform;
    test::FakeDevice device;
    RecordingClock clock;
};

TEST_F(SequencePlay, StepsRunInOrderAndThePauseWaitsForTheWorkersTimer) {
    press(sequence({{{"type", "keyDown"}, {"keyCode", 0x41}, {"modifiers", "shift"}},
                    {{"type", "click"}, {"button", 2}, {"modifiers", "ctrl"}},
                    pause(200),
                    {{"type", "text"}, {"text", "ok"}},
                    {{"type", "keyUp"}, {"keyCode", 0x41}, {"modifiers", "shift"}},
                    {{"type", "keystroke"}, {"keyCode", 0x0D}}}));
    EXPECT_THAT(takeCalls(), ElementsAre(keys(0x01, 0x41, true), keys(0x04, 0, true), mouse(0x2, true),
                                         mouse(0x2, false), keys(0x04, 0, false)));
    EXPECT_THAT(clock.waits, ElementsAre(std::chrono::milliseconds(200)));
    EXPECT_TRUE(sequencePlayer().playing());
    EXPECT_TRUE(device.hookCalls.empty()) << "only the platform services produce a sequence's input";

    sequencePlayer().wake();
    EXPECT_THAT(takeCalls(), ElementsAre(PlatformCall{"typeText", json::array({"ok"})},
                                         keys(0x01, 0x41, false), keys(0, 0x0D, true), keys(0, 0x0D, false)));
    EXPECT_FALSE(sequencePlayer().playing());
    sequencePlayer().wake();
    EXPECT_THAT(takeCalls(), IsEmpty()) << "a late tick finds nothing to play";
    EXPECT_EQ(clock.stops, 2);
}

TEST_F(SequencePlay, ACutShortSequenceLetsGoOfWhatItHoldsLatestFirst) {
    press(sequence({{{"type", "keyDown"}, {"modifiers", "ctrl"}},
                    {{"type", "buttonDown"}, {"button", 1}, {"modifiers", "shift"}},
                    pause(300),
                    {{"type", "keystroke"}, {"keyCode", 0x41}}}));
    takeCalls();
    sequencePlayer().cutShort();
    EXPECT_THAT(takeCalls(), ElementsAre(mouse(0x1, false), keys(0x01, 0, false), keys(0x04, 0, false)));
    sequencePlayer().wake();
    EXPECT_THAT(takeCalls(), IsEmpty()) << "the rest never runs";
}

TEST_F(SequencePlay, APressOfAnyButtonCutsShortTheWaitingSequenceBeforeItsOwnAction) {
    DeviceConfig config(nullptr, DeviceConfig::Blank{});
    config.setButtonAction(0x20, sequence({{{"type", "keyDown"}, {"keyCode", 0x41}}, pause(100), keyA}));
    config.setButtonAction(0x40, {{"command", "keystroke"}, {"keyCode", 0x42}});
    config.dispatchButtonEvent(device, 0x20, 0);
    config.dispatchButtonEvent(device, 0, 0x20);
    EXPECT_TRUE(sequencePlayer().playing()) << "its own release does not end it";
    takeCalls();
    config.dispatchButtonEvent(device, 0x40, 0);
    EXPECT_THAT(takeCalls(), ElementsAre(keys(0, 0x41, false), keys(0, 0x42, true)));
    EXPECT_FALSE(sequencePlayer().playing());
}

} // namespace
} // namespace obx
