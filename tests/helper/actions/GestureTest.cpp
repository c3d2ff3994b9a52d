#include "RefusedForm.h"
#include "actions/Actions.h"
#include "driver/shared/ObxControl.h"
#include "settings/DeviceConfig.h"
#include "support/FakeDevice.h"
#include "support/GestureForms.h"
#include "support/RecordingPlatformServices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tuple>

namespace obx {
namespace {

using nlohmann::json;
using test::FormRefusal;
using test::gesture;
using test::PlatformCall;
using test::refusalName;
using test::RefusedForm;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

PlatformCall keys(std::uint32_t keyCode, bool down) {
    return {"sendKeystroke", json::array({0, keyCode, down, false})};
}

const json keyA = test::keyAction('a');
const json keyB = test::keyAction('b');

INSTANTIATE_TEST_SUITE_P(
    Gesture, RefusedForm,
    ::testing::Values(
        FormRefusal{
            "unknownField", gesture({{"up", keyA}, {"wheel", keyB}}),
            "Gesture has no field \"wheel\" (it takes \"mode\", \"threshold\", \"up\", \"down\", \"left\", "
            "\"right\", \"tap\", \"wheelUp\", \"wheelDown\", \"panLeft\", \"panRight\")"},
        FormRefusal{"nothing", gesture(json::object()),
                    "Gesture needs at least one of \"up\", \"down\", \"left\", \"right\", \"wheelUp\", "
                    "\"wheelDown\", \"panLeft\", \"panRight\", \"tap\""},
        FormRefusal{"thresholdLow", gesture({{"up", keyA}, {"threshold", 9}}),
                    "Gesture has \"threshold\" 9, not a whole number from 10 to 2000"},
        FormRefusal{"thresholdHigh", gesture({{"up", keyA}, {"threshold", 2001}}),
                    "Gesture has \"threshold\" 2001, not a whole number from 10 to 2000"},
        FormRefusal{"thresholdText", gesture({{"up", keyA}, {"threshold", "200"}}),
                    "Gesture has \"threshold\" \"200\", not a whole number from 10 to 2000"},
        FormRefusal{"modeUnknown", gesture({{"up", keyA}, {"mode", "twice"}}),
                    "Gesture has \"mode\" \"twice\", not \"once\", \"repeat\" or \"none\""},
        FormRefusal{
            "noneWithTravel", gesture({{"up", keyA}, {"mode", "none"}}),
            "Gesture has \"mode\" \"none\", in which the ball moves the pointer, and an action for its "
            "travel"},
        FormRefusal{"repeatWithoutTravel", gesture({{"wheelUp", keyA}, {"mode", "repeat"}}),
                    "Gesture has \"mode\" \"repeat\" but none of \"up\", \"down\", \"left\", \"right\""},
        FormRefusal{"nestedNoObject", gesture({{"down", "keystroke"}}),
                    "Gesture \"down\" is no action object with a \"command\" text"},
        FormRefusal{"nestedUnbuildable", gesture({{"tap", {{"command", "keystroke"}}}}),
                    "Gesture \"tap\" has the action {\"command\":\"keystroke\"}, which cannot be built"},
        FormRefusal{"nestedStrictField",
                    gesture({{"left", {{"command", "sequence"}, {"steps", json::array()}}}}),
                    "Gesture \"left\": Sequence has 0 steps, not 1 to 64"},
        FormRefusal{"nestedGesture", gesture({{"right", gesture({{"tap", keyA}})}}),
                    "Gesture \"right\" cannot hold a gesture action"},
        FormRefusal{"nestedUseGlobal", gesture({{"panLeft", {{"command", "useGlobal"}}}}),
                    "Gesture \"panLeft\" cannot hold a useGlobal action"}),
    refusalName);

TEST(GestureFormTest, ModeAndThresholdDefaultsAndBoundsAndTheWrittenFormReadsBackTheSame) {
    const auto read = [](const json& fields) {
        const auto action = std::dynamic_pointer_cast<ActionGesture>(createAction(nullptr, gesture(fields)));
        return std::tuple(action->mode(), action->threshold(), action->takesWheel());
    };
    EXPECT_EQ(read({{"up", keyA}}), std::tuple(ActionGesture::Mode::once, 200, false));
    EXPECT_EQ(read({{"panRight", keyA}, {"threshold", 10}}), std::tuple(ActionGesture::Mode::none, 10, true));

    const json written =
        gesture({{"mode", "repeat"},
                 {"threshold", 2000},
                 {"down", {{"command", "keystroke"}, {"keyCode", 34}, {"modifiers", "ctrl"}}},
                 {"wheelUp", {{"command", "scroll"}, {"direction", "left"}, {"lines", 2}}},
                 {"tap", {{"command", "singleClick"}, {"button", 2}, {"modifiers", ""}}}});
    json out{{"command", "gesture"}};
    createAction(nullptr, written)->toJson(out);
    EXPECT_EQ(out, written);
    json macro{{"command", "gesture"}};
    createAction(nullptr, gesture({{"tap", {{"command", "media_mute"}}}}))->toJson(macro);
    EXPECT_EQ(macro.at("tap"), json({{"command", "keystroke"}, {"keyCode", 173}, {"modifiers", ""}}))
        << "a macro is expanded by the factory";
}

class GesturePerform : public ::testing::Test {
protected:
    std::vector<PlatformCall> perform(std::uint8_t direction, std::uint8_t steps) {
        platform->clear();
        config.dispatchGestureEvent(device, 0x20, direction, steps);
        return platform->inputCalls();
    }

    test::ScopedRecordingPlatform platform;
    test::FakeDevice device;
    DeviceConfig config{nullptr, DeviceConfig::Blank{}};
};

TEST_F(GesturePerform, TheDirectionsActionRunsWholeOnceForTravelAndOnceANotchForTheWheel) {
    config.setButtonAction(
        0x20,
        gesture({{"up", keyA}, {"wheelDown", keyB}, {"tap", {{"command", "singleClick"}, {"button", 1}}}}));
    EXPECT_THAT(perform(OBX_GESTURE_UP, 1), ElementsAre(keys(0x41, true), keys(0x41, false)));
    EXPECT_THAT(perform(OBX_GESTURE_UP, 3), ElementsAre(keys(0x41, true), keys(0x41, false)))
        << "travel is one step whatever the count";
    EXPECT_THAT(perform(OBX_GESTURE_WHEEL_DOWN, 2),
                ElementsAre(keys(0x42, true), keys(0x42, false), keys(0x42, true), keys(0x42, false)));
    EXPECT_THAT(perform(OBX_GESTURE_TAP, 1),
                ElementsAre(PlatformCall{"sendMouseButton", json::array({1, true})},
                            PlatformCall{"sendMouseButton", json::array({1, false})}))
        << "a plain click, which the map does for a button, is clicked here";
    EXPECT_THAT(perform(OBX_GESTURE_LEFT, 1), IsEmpty());
    EXPECT_THAT(perform(10, 1), IsEmpty());
    platform->clear();
    config.dispatchButtonEvent(device, 0x20, 0);
    config.dispatchButtonEvent(device, 0, 0x20);
    EXPECT_THAT(platform->inputCalls(), ElementsAre(PlatformCall{"sendMouseButton", json::array({1, true})},
                                                    PlatformCall{"sendMouseButton", json::array({1, false})}))
        << "without the driver's gestures the button's press runs the tap";
    config.setButtonAction(0x20, keyA);
    EXPECT_THAT(perform(OBX_GESTURE_UP, 1), IsEmpty()) << "the settings changed since the driver's map";
}

} // namespace
} // namespace obx
