#include "base/LogCapture.h"
#include "settings/Settings.h"
#include "support/RecordingPlatformServices.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;

class DeviceConfigTest : public ::testing::Test {
protected:
    test::ScopedRecordingPlatform platform;
};

TEST_F(DeviceConfigTest, NewConfigurationTakesTheSystemPointerValues) {
    platform->pointerSpeed = 35;
    platform->accelerationRate = 10;
    platform->wheelLines = 0;
    platform->scrollInvert = true;
    DeviceConfig config(nullptr);
    EXPECT_EQ(config.speed, 35);
    EXPECT_TRUE(config.acceleration);
    EXPECT_EQ(config.accelerationRate, 10);
    EXPECT_EQ(config.scrollLines, 1) << "a wheel-lines answer below 1 must not break the invariant";
    EXPECT_TRUE(config.scrollInvert);

    platform->accelerationRate = 0;
    platform->wheelLines = 3;
    DeviceConfig second(nullptr);
    EXPECT_FALSE(second.acceleration);
    EXPECT_EQ(second.scrollLines, 3);
}

TEST_F(DeviceConfigTest, NewConfigurationHasTheSevenDefaultCommandsAndEmptySlots) {
    DeviceConfig config(nullptr);
    const std::map<std::uint32_t, std::string> expected = {
        {0x1, R"({"command":"mouse_leftClick","params":null})"},
        {0x2, R"({"command":"mouse_rightClick","params":null})"},
        {0x4, R"({"command":"mouse_middleClick","params":null})"},
        {0x8, R"({"command":"mouse_button4Click","params":null})"},
        {0x10, R"({"command":"mouse_button5Click","params":null})"},
        {0x40000000, R"({"command":"navigation_scrollLeft","params":null})"},
        {0x80000000, R"({"command":"navigation_scrollRight","params":null})"},
    };
    EXPECT_EQ(config.commands(), expected);
    ASSERT_EQ(config.actions().size(), 7u);
    for (auto& [mask, action] : config.actions()) {
        EXPECT_EQ(action->owner(), &config);
    }
    EXPECT_EQ(config.actions().at(0x1)->name(), "singleClick");
    EXPECT_EQ(config.actions().at(0x80000000)->name(), "scroll");
    EXPECT_EQ(config.chordMask(), 0u);
    for (auto& slot : config.snippets()) {
        EXPECT_EQ(slot, Snippet{});
    }
}

TEST_F(DeviceConfigTest, CopyBuildsNewActionsWhileAssignmentSharesThem) {
    DeviceConfig original(nullptr);
    original.setButtonAction(0x6, json{{"command", "keystroke"}, {"keyCode", 65}});
    original.speed = 77;

    DeviceConfig copy(original);
    EXPECT_EQ(copy.speed, 77);
    EXPECT_EQ(copy.commands(), original.commands());
    EXPECT_EQ(copy.chordMask(), 0x6u);
    EXPECT_NE(copy.actions().at(0x6), original.actions().at(0x6));
    EXPECT_EQ(copy.actions().at(0x6)->owner(), &copy);

    DeviceConfig assigned(nullptr);
    assigned = original;
    EXPECT_EQ(assigned.actions().at(0x6), original.actions().at(0x6));
    EXPECT_EQ(assigned.chordMask(), 0x6u);

    ApplicationConfig profile(nullptr, "App", "");
    assigned.attach(&profile);
    EXPECT_EQ(assigned.owner(), &profile);
    EXPECT_EQ(original.actions().at(0x6)->owner(), &assigned) << "attach re-points the shared actions";
}

TEST_F(DeviceConfigTest, GetButtonActionNamesEveryMaskInDecimal) {
    DeviceConfig config(nullptr);
    const auto all = config.getButtonAction(0);
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(all.at("1073741824"), (json{{"command", "navigation_scrollLeft"}, {"params", nullptr}}));
    EXPECT_EQ(all.at("16"), (json{{"command", "mouse_button5Click"}, {"params", nullptr}}));
    EXPECT_EQ(config.getButtonAction(0x2), (json{{"command", "mouse_rightClick"}, {"params", nullptr}}));
    EXPECT_TRUE(config.getButtonAction(0x20).is_null());
}

TEST_F(DeviceConfigTest, SetButtonActionStoresTheCompactSortedText) {
    DeviceConfig config(nullptr);
    config.setButtonAction(
        0x2, json::parse(R"({ "params" : { "modifiers" : "ctrl" }, "command" : "mouse_leftClick" })"));
    EXPECT_EQ(config.commands().at(0x2), R"({"command":"mouse_leftClick","params":{"modifiers":"ctrl"}})");
    EXPECT_EQ(config.actions().at(0x2)->name(), "singleClick");
}

TEST_F(DeviceConfigTest, SetButtonActionThatCannotBeBuiltChangesNothing) {
    DeviceConfig config(nullptr);
    const auto before = config.commands();
    const auto action = config.actions().at(0x1);
    EXPECT_THROW(
        {
            try {
                config.setButtonAction(0x1, json{{"command", "noSuchCommand"}});
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "Error creating action handler!");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_EQ(config.commands(), before);
    EXPECT_EQ(config.actions().at(0x1), action);
}

TEST_F(DeviceConfigTest, SetButtonActionWithMaskZeroStoresEveryMember) {
    DeviceConfig config(nullptr);
    config.setButtonAction(0,
                           json{{"3", {{"command", "noAction"}}}, {"12", {{"command", "mouse_leftDrag"}}}});
    EXPECT_EQ(config.commands().at(3), R"({"command":"noAction"})");
    EXPECT_EQ(config.actions().at(12)->name(), "drag");
    EXPECT_EQ(config.chordMask(), 0xCu) << "the chord 3 holds a \"none\" action";

    config.setButtonAction(0, json());
    EXPECT_EQ(config.commands().size(), 9u);
    EXPECT_THROW(config.setButtonAction(0, json::array({1, 2})), json::type_error);
}

TEST_F(DeviceConfigTest, SetButtonActionWithMaskZeroKeepsMembersBeforeAnError) {
    DeviceConfig config(nullptr);
    const json members = {{"3", {{"command", "mouse_rightClick"}}},
                          {"32", {{"command", "noAction"}}},
                          {"64", {{"command", "bad"}}},
                          {"96", {{"command", "noAction"}}}};
    EXPECT_THROW(config.setButtonAction(0, members), std::runtime_error);
    EXPECT_TRUE(config.commands().contains(32));
    EXPECT_EQ(config.chordMask(), 0x3u) << "the chord stored before the error reaches the driver";
    EXPECT_FALSE(config.commands().contains(64));
    EXPECT_FALSE(config.commands().contains(96));
}

TEST_F(DeviceConfigTest, ChordMaskSkipsNoneActionsAndSingleButtons) {
    DeviceConfig config(nullptr);
    config.fromJson(json::parse(R"({"id":0,"speed":50,"acceleration":false,"accelerationRate":0,
        "slowModifiers":"","slowDivider":0,"snapModifiers":"","inertialScroll":false,"scrollInvert":false,
        "scrollLines":1,"inertialScrollTimer":0,"inertialScrollFactor":0,"inertialScrollNullSteps":0,
        "commands":[[3,{"command":"none"}],[1,{"command":"mouse_leftClick"}]]})"));
    EXPECT_EQ(config.chordMask(), 0u);
    config.setButtonAction(3, json{{"command", "mouse_rightClick"}});
    config.setButtonAction(12, json{{"command", "mouse_leftClick"}});
    EXPECT_EQ(config.chordMask(), 0xFu);
}

TEST_F(DeviceConfigTest, StoredButtonThatCannotBeBuiltIsLoggedKeptAndSkipped) {
    LogCapture capture;
    DeviceConfig config(nullptr);
    config.fromJson(json::parse(R"({"id":0,"speed":50,"acceleration":false,"accelerationRate":0,
        "slowModifiers":"","slowDivider":0,"snapModifiers":"","inertialScroll":false,"scrollInvert":false,
        "scrollLines":1,"inertialScrollTimer":0,"inertialScrollFactor":0,"inertialScrollNullSteps":0,
        "commands":[[1,{"command":"mouse_leftClick"}],[8,{"command":""}],[6,{"command":"mouse_rightClick"}]]})"));
    EXPECT_TRUE(capture.contains(LogLevel::error, "Error converting '8' into action object"));
    EXPECT_EQ(config.commands().at(8), R"({"command":""})");
    EXPECT_FALSE(config.actions().contains(8));
    EXPECT_TRUE(config.actions().contains(1));
    EXPECT_EQ(config.chordMask(), 0x6u);
}

TEST_F(DeviceConfigTest, SetSnippetIgnoresIndicesOutsideTheTenSlots) {
    DeviceConfig config(nullptr);
    config.setSnippet("first", "one", 0);
    config.setSnippet("last", "ten", 9);
    config.setSnippet("nowhere", "", 10);
    config.setSnippet("nowhere", "", -1);
    EXPECT_EQ(config.snippets()[0], (Snippet{"first", "one"}));
    EXPECT_EQ(config.snippets()[9], (Snippet{"last", "ten"}));
    for (int i = 1; i < 9; ++i) {
        EXPECT_EQ(config.snippets()[i], Snippet{});
    }
}

TEST_F(DeviceConfigTest, SnippetActionsFillTheirSlotOnlyInsideSettings) {
    const json snippet = {{"command", "snippet"}, {"content", "Regards"}, {"label", "sign"}, {"index", 2}};

    DeviceConfig loose(nullptr);
    loose.setButtonAction(0x8, snippet);
    EXPECT_EQ(loose.snippets()[2], Snippet{});

    Settings settings;
    auto& profile = settings.devices[0x1001].try_emplace(globalProfileId, &settings, "*", "").first->second;
    profile.config.setButtonAction(0x8, snippet);
    EXPECT_EQ(profile.config.snippets()[2], (Snippet{"Regards", "sign"}));

    ApplicationConfig orphan(nullptr, "App", "");
    orphan.config.setButtonAction(0x8, snippet);
    EXPECT_EQ(orphan.config.snippets()[2], Snippet{}) << "a profile outside settings stores nothing";
}

} // namespace
} // namespace obx
