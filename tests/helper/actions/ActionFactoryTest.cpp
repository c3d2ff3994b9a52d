#include "actions/ActionFactory.h"

#include "actions/Actions.h"
#include "actions/Modifiers.h"
#include "base/LogCapture.h"
#include "platform/ProgramPath.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace obx {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class MacrosFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            fs::temp_directory_path() /
            ("obx-actions-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path write(const std::string& text) const {
        const auto file = folder / "obxactions.json";
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

    ActionFactory factoryOf(const json& macros) const { return ActionFactory(write(macros.dump())); }

    std::vector<LogRecord> errors() const {
        std::vector<LogRecord> result;
        for (const auto& record : logs.records()) {
            if (record.level == LogLevel::error) {
                result.push_back(record);
            }
        }
        return result;
    }

    fs::path folder;
    LogCapture logs;
};

TEST_F(MacrosFile, MissingFileHasItsOwnError) {
    try {
        ActionFactory factory(folder / "absent.json");
        FAIL() << "no error";
    } catch (const MissingActionMacrosDataFile& error) {
        EXPECT_STREQ(error.what(), "Missing action macros data file");
    }
    EXPECT_THAT(logs.records(), IsEmpty());
}

TEST_F(MacrosFile, DocumentsThatAreNoMacrosMakeTheFactoryUnusable) {
    for (const char* text : {"5", "[1]", "[{\"command\": \"none\"}]", "\"text\"", "true", "{\"a\": ", ""}) {
        logs.clear();
        try {
            ActionFactory factory(write(text));
            ADD_FAILURE() << "no error for " << text;
        } catch (const ActionFactoryInitError& error) {
            EXPECT_STREQ(error.what(), "Error initializing action factory");
        }
        const auto records = errors();
        ASSERT_EQ(records.size(), 1u) << text;
        EXPECT_THAT(records[0].text, StartsWith("Error loading action macros definition file: ")) << text;
    }
}

TEST_F(MacrosFile, UnreadablePathIsAnInitError) {
    fs::create_directories(folder / "obxactions.json");
    EXPECT_THROW(ActionFactory(folder / "obxactions.json"), ActionFactoryInitError);
}

TEST_F(MacrosFile, NullOrEmptyArrayGivesNoMacros) {
    for (const char* text : {"null", "[]", " [ ] ", "{}"}) {
        const ActionFactory factory(write(text));
        EXPECT_EQ(factory.create(nullptr, {{"command", "none"}})->name(), "none") << text;
        EXPECT_THROW(factory.create(nullptr, {{"command", "noAction"}}), std::runtime_error) << text;
    }
}

// Factories share the macros of unchanged file content; a file whose bytes
// changed is read anew, also when its size stays the same.
TEST_F(MacrosFile, ChangedContentOfTheSameFileGivesItsOwnMacros) {
    const auto first = factoryOf({{"mouse_aClick", {{"command", "singleClick"}, {"button", 1}}}});
    const auto again = factoryOf({{"mouse_aClick", {{"command", "singleClick"}, {"button", 1}}}});
    const auto changed = factoryOf({{"mouse_aClick", {{"command", "singleClick"}, {"button", 2}}}});
    auto button = [](const ActionFactory& factory) {
        return std::dynamic_pointer_cast<ActionSingleClick>(
                   factory.create(nullptr, {{"command", "mouse_aClick"}}))
            ->button();
    };
    EXPECT_EQ(button(first), 1);
    EXPECT_EQ(button(again), 1);
    EXPECT_EQ(button(changed), 2);
    EXPECT_EQ(button(first), 1) << "a factory keeps the macros it was made with";
}

TEST_F(MacrosFile, MacroIsBuiltWithoutTheEntrysOwnKeys) {
    const auto factory = factoryOf({{"mouse_leftClick", {{"command", "singleClick"}, {"button", 1}}}});
    const auto action = std::dynamic_pointer_cast<ActionSingleClick>(factory.create(
        nullptr,
        {{"command", "mouse_leftClick"}, {"params", nullptr}, {"button", 2}, {"modifiers", "ctrl"}}));
    ASSERT_TRUE(action);
    EXPECT_EQ(action->button(), 1);
    EXPECT_EQ(action->modifiers(), 0u);
}

TEST_F(MacrosFile, ParamsAreMergedIntoTheMacro) {
    const auto factory = factoryOf({{"launching_openFile", {{"command", "open"}, {"type", 0}}},
                                    {"fixedFile", {{"command", "open"}, {"path", "/old"}, {"name", "Old"}}}});
    const auto added = std::dynamic_pointer_cast<ActionOpenItem>(factory.create(
        nullptr, {{"command", "launching_openFile"}, {"params", {{"path", "/new"}, {"label", "L"}}}}));
    ASSERT_TRUE(added);
    EXPECT_EQ(added->path(), "/new");
    EXPECT_EQ(added->type(), 0);

    const auto replaced = std::dynamic_pointer_cast<ActionOpenItem>(
        factory.create(nullptr, {{"command", "fixedFile"}, {"params", {{"path", "/new"}, {"type", 2}}}}));
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->path(), "/new");
    EXPECT_EQ(replaced->itemName(), "Old");
    EXPECT_EQ(replaced->type(), 2);
}

TEST_F(MacrosFile, MergingLeavesTheMacroItselfUnchanged) {
    const auto factory =
        factoryOf({{"copy", {{"command", "keystroke"}, {"keyCode", 67}, {"modifiers", "ctrl"}}}});
    factory.create(nullptr, {{"command", "copy"}, {"params", {{"modifiers", "alt"}}}});
    const auto plain =
        std::dynamic_pointer_cast<ActionKeystroke>(factory.create(nullptr, {{"command", "copy"}}));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->modifiers(), modifierCtrl);
}

TEST_F(MacrosFile, MacroWinsOverAKindOfTheSameName) {
    const auto factory = factoryOf({{"none", {{"command", "keystroke"}, {"keyCode", 13}}}});
    EXPECT_EQ(factory.create(nullptr, {{"command", "none"}})->name(), "keystroke");
}

TEST_F(MacrosFile, EntryThatFailsAsMacroIsTriedAsAKind) {
    const auto factory = factoryOf({{"scroll", {{"command", "open"}}}});
    const auto action = factory.create(nullptr, {{"command", "scroll"}, {"direction", "up"}});
    EXPECT_EQ(action->name(), "scroll");
    EXPECT_THAT(errors(), IsEmpty());
}

TEST_F(MacrosFile, KindIsBuiltDirectlyWithoutAMacro) {
    const auto factory = factoryOf(json::object());
    auto* config = reinterpret_cast<DeviceConfig*>(0x1000);
    const auto action = std::dynamic_pointer_cast<ActionKeystroke>(
        factory.create(config, {{"command", "keystroke"}, {"keyCode", 65}}));
    ASSERT_TRUE(action);
    EXPECT_EQ(action->keyCode(), 65u);
    EXPECT_EQ(action->owner(), config);
}

TEST_F(MacrosFile, MacroBuildGetsTheConfiguration) {
    const auto factory = factoryOf({{"noAction", {{"command", "none"}}}});
    auto* config = reinterpret_cast<DeviceConfig*>(0x1000);
    EXPECT_EQ(factory.create(config, {{"command", "noAction"}})->owner(), config);
}

TEST_F(MacrosFile, UnbuildableEntryIsLoggedWithItsParamsAndFails) {
    const auto factory = factoryOf({{"noAction", {{"command", "none"}}}});
    try {
        factory.create(nullptr, {{"command", "bogus"}, {"params", {{"a", 1}}}});
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Error creating action handler!");
    }
    EXPECT_THROW(factory.create(nullptr, {{"command", "bogus"}}), std::runtime_error);
    EXPECT_THAT(errors(),
                ElementsAre(LogRecord{LogLevel::error, R"(Error creating action handler for command: )"
                                                       R"(bogus, args: {"a":1})"},
                            LogRecord{LogLevel::error, R"(Error creating action handler for command: )"
                                                       R"(bogus, args: null)"}));
}

TEST_F(MacrosFile, ParamsThatAreNoObjectCannotBeMerged) {
    const auto factory = factoryOf({{"noAction", {{"command", "none"}}},
                                    {"oddMacro", 7},
                                    {"launching_openURL", {{"command", "open"}, {"type", 3}}}});
    EXPECT_THROW(factory.create(nullptr, {{"command", "noAction"}, {"params", {1, 2}}}), std::runtime_error);
    EXPECT_THROW(factory.create(nullptr, {{"command", "noAction"}, {"params", "x"}}), std::runtime_error);
    EXPECT_THROW(factory.create(nullptr, {{"command", "oddMacro"}, {"params", {{"k", 1}}}}),
                 std::runtime_error);
    EXPECT_THROW(factory.create(nullptr, {{"command", "launching_openURL"}}), std::runtime_error);
    EXPECT_THAT(errors().back().text, HasSubstr("launching_openURL, args: null"));
}

TEST_F(MacrosFile, EntryWithoutStringCommandIsTheLibrarysError) {
    const auto factory = factoryOf(json::object());
    EXPECT_THROW(factory.create(nullptr, {{"params", nullptr}}), json::out_of_range);
    EXPECT_THROW(factory.create(nullptr, {{"command", 3}}), json::type_error);
    EXPECT_THAT(errors(), IsEmpty());
}

// The shipped macros file, found where every program of the build finds it.
class ShippedMacros : public ::testing::Test {
protected:
    static json document() {
        std::ifstream in(runningExecutablePath().parent_path() / "obxactions.json");
        return json::parse(in);
    }

    template <typename Kind>
    std::shared_ptr<Kind> build(const std::string& macro, const json& params = nullptr) const {
        auto action = std::dynamic_pointer_cast<Kind>(
            factory.create(nullptr, {{"command", macro}, {"params", params}}));
        if (!action) {
            throw std::logic_error(macro + " is not of the expected kind");
        }
        return action;
    }

    const ActionFactory factory;
};

TEST_F(ShippedMacros, DefaultButtonsKeepTheTrackballsOwnBehaviour) {
    const std::pair<const char*, int> clicks[] = {{"mouse_leftClick", 1},
                                                  {"mouse_rightClick", 2},
                                                  {"mouse_middleClick", 3},
                                                  {"mouse_button4Click", 4},
                                                  {"mouse_button5Click", 5}};
    for (const auto& [macro, button] : clicks) {
        const auto click = build<ActionSingleClick>(macro);
        EXPECT_EQ(click->button(), button) << macro;
        EXPECT_EQ(click->modifiers(), 0u) << macro;
    }
    const auto left = build<ActionScroll>("navigation_scrollLeft");
    EXPECT_EQ(left->direction(), static_cast<std::uint32_t>(ScrollDirection::left));
    EXPECT_EQ(left->lines(), 1);
    const auto right = build<ActionScroll>("navigation_scrollRight");
    EXPECT_EQ(right->direction(), static_cast<std::uint32_t>(ScrollDirection::right));
    EXPECT_EQ(right->lines(), 1);
}

TEST_F(ShippedMacros, MigratedClicksAndDragsTakeModifiersFromParams) {
    const std::tuple<const char*, int, int> multi[] = {{"mouse_leftDoubleClick", 1, 2},
                                                       {"mouse_rightDoubleClick", 2, 2},
                                                       {"mouse_middleDoubleClick", 3, 2},
                                                       {"mouse_tripleClick", 1, 3}};
    for (const auto& [macro, button, clicks] : multi) {
        const auto action = build<ActionMultiClick>(macro, {{"modifiers", "ctrl"}});
        EXPECT_EQ(action->button(), button) << macro;
        EXPECT_EQ(action->clicks(), clicks) << macro;
        EXPECT_EQ(action->modifiers(), modifierCtrl) << macro;
    }
    const std::pair<const char*, int> drags[] = {
        {"mouse_leftDrag", 1}, {"mouse_rightDrag", 2}, {"mouse_middleDrag", 3}};
    for (const auto& [macro, button] : drags) {
        const auto action = build<ActionDrag>(macro, {{"modifiers", "shift"}});
        EXPECT_EQ(action->button(), button) << macro;
        EXPECT_EQ(action->modifiers(), modifierShift) << macro;
    }
    EXPECT_EQ(build<ActionSingleClick>("mouse_middleClick", {{"modifiers", "ctrl"}})->modifiers(),
              modifierCtrl);
}

TEST_F(ShippedMacros, MediaAndBrowserKeysAreTheirVirtualKeys) {
    // The legacy settings stored these keys as signed bytes.
    const std::pair<const char*, int> keys[] = {
        {"media_playPause", -77}, {"media_stop", -78},     {"media_prevTrack", -79},
        {"media_nextTrack", -80}, {"media_volumeUp", -81}, {"media_volumeDown", -82},
        {"media_mute", -83},      {"browser_stop", -87},   {"browser_refresh", -88},
        {"browser_forward", -89}, {"browser_back", -90}};
    for (const auto& [macro, legacyKey] : keys) {
        const auto action = build<ActionKeystroke>(macro);
        EXPECT_EQ(action->keyCode(), static_cast<std::uint32_t>(legacyKey & 0xFF)) << macro;
        EXPECT_EQ(action->modifiers(), 0u) << macro;
        EXPECT_FALSE(action->syncUp()) << macro;
    }
    EXPECT_EQ(build<ActionKeystroke>("media_playPause")->keyCode(), 0xB3u);
    EXPECT_EQ(build<ActionKeystroke>("browser_back")->keyCode(), 0xA6u);
}

TEST_F(ShippedMacros, DesktopShortcutsAreWinKeystrokes) {
    const auto desktop = build<ActionKeystroke>("desktop_showDesktop");
    EXPECT_EQ(desktop->keyCode(), static_cast<std::uint32_t>('D'));
    EXPECT_EQ(desktop->modifiers(), modifierWin);
    const auto search = build<ActionKeystroke>("system_showSystemSearch");
    EXPECT_EQ(search->keyCode(), static_cast<std::uint32_t>('S'));
    EXPECT_EQ(search->modifiers(), modifierWin);
}

TEST_F(ShippedMacros, WindowAndSessionCommandsAreSystemActions) {
    const std::pair<const char*, const char*> commands[] = {{"system_lockScreen", "lockWorkstation"},
                                                            {"desktop_maximizeWindow", "maximizeWindow"},
                                                            {"desktop_minimizeWindow", "minimizeWindow"},
                                                            {"desktop_closeWindow", "closeWindow"},
                                                            {"desktop_minimizeAll", "minimizeAll"}};
    for (const auto& [macro, command] : commands) {
        EXPECT_EQ(build<ActionSystem>(macro)->action(), command) << macro;
    }
}

TEST_F(ShippedMacros, OpenMacrosNeedTheirPathFromParams) {
    const std::pair<const char*, int> opens[] = {{"launching_openFile", 0},
                                                 {"launching_openFolder", 1},
                                                 {"launching_openApplication", 2},
                                                 {"launching_openURL", 3}};
    for (const auto& [macro, type] : opens) {
        const auto action = build<ActionOpenItem>(macro, {{"label", "Site"}, {"path", "www.example.org"}});
        EXPECT_EQ(action->type(), type) << macro;
        EXPECT_EQ(action->path(), "www.example.org") << macro;
        EXPECT_THROW(factory.create(nullptr, {{"command", macro}}), std::runtime_error) << macro;
    }
}

TEST_F(ShippedMacros, NoActionDoesNothing) {
    EXPECT_EQ(factory.create(nullptr, {{"command", "noAction"}})->name(), "none");
}

TEST_F(ShippedMacros, EveryMacroBuildsAndKeystrokesCarryKeyAndModifiers) {
    std::multimap<std::uint32_t, std::pair<std::uint32_t, std::string>> keystrokes;
    const auto macros = document();
    for (const auto& [name, macro] : macros.items()) {
        if (macro.at("command") == "open") {
            EXPECT_NO_THROW(factory.create(nullptr, {{"command", name}, {"params", {{"path", "/"}}}}))
                << name;
            continue;
        }
        EXPECT_NO_THROW(factory.create(nullptr, {{"command", name}})) << name;
        if (macro.at("command") == "keystroke") {
            ASSERT_TRUE(macro.contains("keyCode")) << name;
            ASSERT_TRUE(macro.contains("modifiers")) << name;
            keystrokes.emplace(macro.at("keyCode").get<std::uint32_t>(),
                               std::pair{modifiersFromString(macro.at("modifiers")), name});
        }
    }
    // The migration turns a legacy win+D keystroke into the first keystroke
    // macro with that key and mask.
    const auto [first, last] = keystrokes.equal_range('D');
    const auto showDesktop =
        std::find_if(first, last, [](const auto& entry) { return entry.second.first == modifierWin; });
    ASSERT_NE(showDesktop, last);
    EXPECT_EQ(showDesktop->second.second, "desktop_showDesktop");
}

} // namespace
} // namespace obx
