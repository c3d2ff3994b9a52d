#include "actions/Actions.h"
#include "base/LogCapture.h"
#include "settings/DeviceConfig.h"
#include "support/FakeDevice.h"
#include "support/RecordingPlatformServices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;
using test::PlatformCall;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

PlatformCall keys(std::uint32_t modifiers, std::uint32_t keyCode, bool down, bool modifiersOnly) {
    return {"sendKeystroke", json::array({modifiers, keyCode, down, modifiersOnly})};
}

PlatformCall mouse(std::uint32_t mask, bool down) {
    return {"sendMouseButton", json::array({mask, down})};
}

PlatformCall typed(const std::string& text) {
    return {"typeText", json::array({text})};
}

class ActionExecute : public ::testing::Test {
protected:
    void SetUp() override {
        // The drag latch outlives every test; start each one with nothing held.
        if (!ActionDrag::nextPressPresses()) {
            createAction(nullptr, {{"command", "drag"}, {"button", 1}})->execute(device, true);
        }
        platform->clear();
        device.hookCalls.clear();
        logs.clear();
    }

    // Runs a press and a release, keeping the calls of each apart.
    std::pair<std::vector<PlatformCall>, std::vector<PlatformCall>> pressAndRelease(const json& object) {
        const auto action = createAction(nullptr, object);
        action->execute(device, true);
        auto pressed = platform->inputCalls();
        platform->clear();
        action->execute(device, false);
        auto released = platform->inputCalls();
        platform->clear();
        return {pressed, released};
    }

    std::vector<std::string> debugTexts() const {
        std::vector<std::string> texts;
        for (const auto& record : logs.records()) {
            if (record.level == LogLevel::debug) {
                texts.push_back(record.text);
            }
        }
        return texts;
    }

    test::ScopedRecordingPlatform platform;
    test::FakeDevice device;
    LogCapture logs;
};

TEST_F(ActionExecute, KeystrokeHoldsTheKeyWhileTheButtonIsDown) {
    const auto [press, release] =
        pressAndRelease({{"command", "keystroke"}, {"keyCode", 0x41}, {"modifiers", "ctrl,shift"}});
    EXPECT_THAT(press, ElementsAre(keys(0x05, 0x41, true, false)));
    EXPECT_THAT(release, ElementsAre(keys(0x05, 0x41, false, false)));
    EXPECT_THAT(debugTexts(), ElementsAre("Poke keystroke: modifiers: 0x5, scancode: 0x41, syncUp: false",
                                          "Poke keystroke: modifiers: 0x5, scancode: 0x41, syncUp: false"));
}

TEST_F(ActionExecute, KeystrokeWithSyncUpSendsTheWholeStrokeOnThePress) {
    const auto [press, release] = pressAndRelease(
        {{"command", "keystroke"}, {"keyCode", 0xB3}, {"modifiers", "win"}, {"syncUp", true}});
    EXPECT_THAT(press, ElementsAre(keys(0x40, 0xB3, true, false), keys(0x40, 0xB3, false, false)));
    EXPECT_THAT(release, IsEmpty());
    EXPECT_THAT(debugTexts(), ElementsAre("Poke keystroke: modifiers: 0x40, scancode: 0xb3, syncUp: true",
                                          "\tpoking UP event synchronously",
                                          "Poke keystroke: modifiers: 0x40, scancode: 0xb3, syncUp: true"));
}

TEST_F(ActionExecute, KeystrokePassesOnlyTheLow16BitsToThePlatform) {
    const auto [press, release] = pressAndRelease({{"command", "keystroke"}, {"keyCode", 0x12341}});
    EXPECT_THAT(press, ElementsAre(keys(0, 0x2341, true, false)));
    EXPECT_EQ(device.hookCalls.front(), json({"keystroke", 0, 0x12341, true, false}));
}

TEST_F(ActionExecute, KeystrokeOfNothingStillGoesOutAndLogs) {
    const auto [press, release] = pressAndRelease({{"command", "keystroke"}, {"keyCode", 0}});
    EXPECT_THAT(press, ElementsAre(keys(0, 0, true, false)));
    EXPECT_THAT(debugTexts(), ElementsAre("Poke keystroke: modifiers: 0x0, scancode: 0x0, syncUp: false",
                                          "Poke keystroke: modifiers: 0x0, scancode: 0x0, syncUp: false"));
}

TEST_F(ActionExecute, DeviceThatHandlesTheHooksKeepsInputFromThePlatform) {
    device.handleHooks = true;
    pressAndRelease({{"command", "keystroke"}, {"keyCode", 0x41}, {"modifiers", "alt"}});
    pressAndRelease({{"command", "singleClick"}, {"button", 2}, {"modifiers", "ctrl"}});
    pressAndRelease({{"command", "scroll"}, {"direction", "down"}, {"lines", 3}});
    EXPECT_THAT(platform->inputCalls(), IsEmpty());
    EXPECT_THAT(device.hookCalls,
                ElementsAre(json({"keystroke", 0x10, 0x41, true, false}),
                            json({"keystroke", 0x10, 0x41, false, false}),
                            json({"keystroke", 0x04, 0, true, true}), json({"mouseButton", 0x2, true}),
                            json({"mouseButton", 0x2, false}), json({"keystroke", 0x04, 0, false, true}),
                            json({"scroll", 2, 3})));
}

TEST_F(ActionExecute, SingleClickWrapsTheButtonInItsModifiers) {
    const auto [press, release] =
        pressAndRelease({{"command", "singleClick"}, {"button", 1}, {"modifiers", "ctrl"}});
    EXPECT_THAT(press, ElementsAre(keys(0x04, 0, true, true), mouse(0x1, true)));
    EXPECT_THAT(release, ElementsAre(mouse(0x1, false), keys(0x04, 0, false, true)));
    EXPECT_THAT(debugTexts(), ElementsAre("Single click action - button: 1, modifiers: 4",
                                          "Single click action - button: 1, modifiers: 4"));
}

TEST_F(ActionExecute, SingleClickWithoutModifiersIsLeftToTheDriver) {
    const auto [press, release] = pressAndRelease({{"command", "singleClick"}, {"button", 4}});
    EXPECT_THAT(press, IsEmpty());
    EXPECT_THAT(release, IsEmpty());
    EXPECT_THAT(device.hookCalls, IsEmpty());
    EXPECT_THAT(debugTexts(),
                ElementsAre("Single click action - button: 4, modifiers: 0", "\tmodifiers == 0, ignoring",
                            "Single click action - button: 4, modifiers: 0", "\tmodifiers == 0, ignoring"));
}

TEST_F(ActionExecute, MultiClickSendsAllClicksOnThePress) {
    const auto [press, release] =
        pressAndRelease({{"command", "multiClick"}, {"button", 1}, {"clicks", 2}, {"modifiers", "shift"}});
    EXPECT_THAT(press, ElementsAre(keys(0x01, 0, true, true), mouse(0x1, true), mouse(0x1, false),
                                   mouse(0x1, true), mouse(0x1, false), keys(0x01, 0, false, true)));
    EXPECT_THAT(release, IsEmpty());
    EXPECT_THAT(debugTexts(), ElementsAre("Multi click - button: 1, clicks: 2, modifiers: 1",
                                          "Multi click - button: 1, clicks: 2, modifiers: 1"));
}

TEST_F(ActionExecute, MultiClickCountsOfZeroOrLessClickNothing) {
    EXPECT_THAT(pressAndRelease({{"command", "multiClick"}, {"button", 3}, {"clicks", 3}}).first,
                ElementsAre(mouse(4, true), mouse(4, false), mouse(4, true), mouse(4, false), mouse(4, true),
                            mouse(4, false)));
    EXPECT_THAT(
        pressAndRelease({{"command", "multiClick"}, {"button", 1}, {"clicks", 0}, {"modifiers", "alt"}})
            .first,
        ElementsAre(keys(0x10, 0, true, true), keys(0x10, 0, false, true)));
    EXPECT_THAT(pressAndRelease({{"command", "multiClick"}, {"button", 1}, {"clicks", -4}}).first, IsEmpty());
}

TEST_F(ActionExecute, DragPicksUpOnOnePressAndDropsOnTheNext) {
    const json drag = {{"command", "drag"}, {"button", 1}, {"modifiers", "ctrl"}};
    const auto first = pressAndRelease(drag);
    EXPECT_THAT(first.first, ElementsAre(keys(0x04, 0, true, true), mouse(0x1, true)));
    EXPECT_THAT(first.second, IsEmpty());
    EXPECT_FALSE(ActionDrag::nextPressPresses());

    const auto second = pressAndRelease(drag);
    EXPECT_THAT(second.first, ElementsAre(mouse(0x1, false), keys(0x04, 0, false, true)));
    EXPECT_THAT(second.second, IsEmpty());
    EXPECT_TRUE(ActionDrag::nextPressPresses());
    EXPECT_THAT(debugTexts(), ElementsAre("Drag action - button: 1", "Drag action - button: 1",
                                          "Drag action - button: 1", "Drag action - button: 1"));
}

TEST_F(ActionExecute, DragLatchIsSharedByAllDragActions) {
    const auto left = createAction(nullptr, {{"command", "drag"}, {"button", 1}, {"modifiers", "shift"}});
    const auto right = createAction(nullptr, {{"command", "drag"}, {"button", 2}});
    test::FakeDevice otherDevice;

    left->execute(device, true);
    right->execute(otherDevice, true);
    // The drop lets go of what the pick-up pressed, not of the other action's button.
    EXPECT_THAT(platform->inputCalls(), ElementsAre(keys(0x01, 0, true, true), mouse(0x1, true),
                                                    mouse(0x1, false), keys(0x01, 0, false, true)));
    EXPECT_TRUE(ActionDrag::nextPressPresses());

    platform->clear();
    right->execute(device, true);
    right->execute(device, false);
    left->execute(otherDevice, true);
    right->execute(device, true);
    EXPECT_THAT(platform->inputCalls(), ElementsAre(mouse(0x2, true), mouse(0x2, false), mouse(0x2, true)));
    EXPECT_FALSE(ActionDrag::nextPressPresses());
}

TEST_F(ActionExecute, DragLatchSurvivesTheActionThatSetIt) {
    createAction(nullptr, {{"command", "drag"}, {"button", 3}})->execute(device, true);
    platform->clear();
    createAction(nullptr, {{"command", "drag"}, {"button", 1}})->execute(device, true);
    EXPECT_THAT(platform->inputCalls(), ElementsAre(mouse(0x4, false)));
}

TEST_F(ActionExecute, SnippetTypesItsContentOnThePress) {
    const auto [press, release] = pressAndRelease({{"command", "snippet"}, {"content", "Hello\nworld"}});
    EXPECT_THAT(press, ElementsAre(typed("Hello\nworld")));
    EXPECT_THAT(release, IsEmpty());
    EXPECT_THAT(logs.texts(), ElementsAre("Snippet action - snippet: Hello\nworld"));
}

TEST_F(ActionExecute, EmptySnippetOnlyReportsItself) {
    const auto [press, release] = pressAndRelease({{"command", "snippet"}, {"content", ""}, {"label", "x"}});
    EXPECT_THAT(press, IsEmpty());
    EXPECT_THAT(release, IsEmpty());
    const LogRecord empty{LogLevel::info, "Snippet action - content.length == 0"};
    EXPECT_THAT(logs.records(), ElementsAre(empty, empty));
}

TEST_F(ActionExecute, SnippetMenuOffersEveryOwnerSlotAndTypesTheChoice) {
    DeviceConfig config(nullptr);
    config.setSnippet("first text", "First", 0);
    config.setSnippet("last text", "", 9);
    platform->snippetMenuChoice = "last text";
    const auto menu = createAction(&config, {{"command", "snippetMenu"}});
    platform->clear();
    logs.clear();

    menu->execute(device, true);
    menu->execute(device, false);

    std::vector<std::string> contents(10), labels(10);
    contents[0] = "first text";
    labels[0] = "First";
    contents[9] = "last text";
    EXPECT_THAT(
        platform->inputCalls(),
        ElementsAre(PlatformCall{"showSnippetMenu", json::array({contents, labels})}, typed("last text")));
    EXPECT_THAT(logs.texts(), ElementsAre("Snippet menu action"));
}

TEST_F(ActionExecute, SnippetMenuTypesNothingWhenDismissed) {
    DeviceConfig config(nullptr);
    const auto menu = createAction(&config, {{"command", "snippetMenu"}});
    platform->clear();
    menu->execute(device, true);
    const std::vector<std::string> empty(10);
    EXPECT_THAT(platform->inputCalls(),
                ElementsAre(PlatformCall{"showSnippetMenu", json::array({empty, empty})}));
}

TEST_F(ActionExecute, SnippetMenuWithoutOwnerShowsNothing) {
    platform->snippetMenuChoice = "anything";
    const auto [press, release] = pressAndRelease({{"command", "snippetMenu"}});
    EXPECT_THAT(press, IsEmpty());
    EXPECT_THAT(release, IsEmpty());
}

TEST_F(ActionExecute, OpenItemOpensOnThePressAndLogsBoth) {
    const auto [press, release] = pressAndRelease({{"command", "open"},
                                                   {"name", "Notes"},
                                                   {"path", "/home/u/notes.txt"},
                                                   {"args", {"-r"}},
                                                   {"type", 0}});
    EXPECT_THAT(press, ElementsAre(PlatformCall{"openItem",
                                                json::array({"/home/u/notes.txt", json::array({"-r"}), 0})}));
    EXPECT_THAT(release, IsEmpty());
    EXPECT_THAT(debugTexts(), ElementsAre("Open item action - path: /home/u/notes.txt, type: 0",
                                          "Open item action - path: /home/u/notes.txt, type: 0"));
}

TEST_F(ActionExecute, SystemActionRunsOnThePressWithItsParams) {
    const auto [press, release] =
        pressAndRelease({{"command", "system"}, {"action", "minimizeAll"}, {"params", {{"k", 1}}}});
    EXPECT_THAT(press,
                ElementsAre(PlatformCall{"runSystemAction", json::array({"minimizeAll", {{"k", 1}}})}));
    EXPECT_THAT(release, IsEmpty());
    EXPECT_THAT(debugTexts(),
                ElementsAre("System action - action: minimizeAll", "System action - action: minimizeAll"));
}

TEST_F(ActionExecute, ScrollStepsOnThePressOnly) {
    const auto [press, release] =
        pressAndRelease({{"command", "scroll"}, {"direction", "left"}, {"lines", 4}});
    EXPECT_THAT(press, ElementsAre(PlatformCall{"scrollByKeys", json::array({3, 4})}));
    EXPECT_THAT(release, IsEmpty());
    EXPECT_THAT(logs.texts(), IsEmpty());
}

TEST_F(ActionExecute, ScrollWithoutDirectionIsHandedOnAsUnset) {
    const auto [press, release] = pressAndRelease({{"command", "scroll"}, {"direction", "diagonal"}});
    EXPECT_THAT(device.hookCalls, ElementsAre(json({"scroll", 0, 1})));
    EXPECT_THAT(press, ElementsAre(PlatformCall{"scrollByKeys", json::array({0, 1})}));
}

TEST_F(ActionExecute, FieldlessKindsDoNothing) {
    for (const char* kind : {"none", "sequence", "useGlobal"}) {
        const auto [press, release] = pressAndRelease({{"command", kind}});
        EXPECT_THAT(press, IsEmpty()) << kind;
        EXPECT_THAT(release, IsEmpty()) << kind;
    }
    EXPECT_THAT(device.hookCalls, IsEmpty());
    EXPECT_THAT(logs.texts(), IsEmpty());
}

} // namespace
} // namespace obx
