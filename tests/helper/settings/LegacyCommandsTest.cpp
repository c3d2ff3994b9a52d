#include "settings/LegacyCommands.h"

#include "base/LogCapture.h"
#include "support/ErrorText.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;

const json macros = json::parse(R"({
    "edit_copy": {"command": "keystroke", "keyCode": 67, "modifiers": "ctrl"},
    "edit_copyAgain": {"command": "keystroke", "keyCode": "67", "modifiers": "ctrl"},
    "edit_paste": {"command": "keystroke", "keyCode": 86, "modifiers": "Ctrl"},
    "mouse_leftClick": {"command": "singleClick", "button": 1},
    "text_upperA": {"command": "keystroke", "keyCode": 65, "modifiers": "shift"}
})");

class LegacyCommandsTest : public ::testing::Test {
protected:
    std::optional<json> convert(int command, int argument = 0, int modifiers = 0, int repeat = 0) const {
        return convertLegacyAction({command, argument, modifiers, repeat, "", "", std::nullopt}, index);
    }

    LogCapture capture;
    KeystrokeMacroIndex index{macros};
};

json click(const char* macro, const char* modifiers) {
    return {{"command", macro}, {"params", {{"modifiers", modifiers}}}};
}

const json noAction = {{"command", "noAction"}};

TEST_F(LegacyCommandsTest, IndexHoldsEveryKeystrokeMacroInKeyOrder) {
    EXPECT_EQ(index.size(), 4u);
    EXPECT_EQ(index.find(67, 0x04), "edit_copy") << "the first of two equal entries";
    EXPECT_EQ(index.find(86, 0x04), "edit_paste");
    EXPECT_EQ(index.find(67, 0), std::nullopt) << "the modifiers must match";
    EXPECT_TRUE(capture.contains(LogLevel::debug,
                                 R"(edit_copy : {"command":"keystroke","keyCode":67,"modifiers":"ctrl"})"));
    EXPECT_TRUE(capture.contains(LogLevel::debug, "Total keystroke commands: 4, multimap size: 4"));
}

TEST_F(LegacyCommandsTest, BadMacroEndsTheIndexWithTheEntriesBeforeIt) {
    capture.clear();
    const KeystrokeMacroIndex partial(json::parse(R"({
        "a": {"command": "keystroke", "keyCode": 1, "modifiers": ""},
        "b": {"command": "keystroke", "modifiers": ""},
        "c": {"command": "keystroke", "keyCode": 3, "modifiers": ""}})"));
    EXPECT_EQ(partial.size(), 1u);
    EXPECT_EQ(partial.find(1, 0), "a");
    const auto texts = capture.texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_TRUE(texts[texts.size() - 2].starts_with("Exception: [json.exception.out_of_range"));
    EXPECT_TRUE(texts[texts.size() - 2].ends_with("\n"));
    EXPECT_EQ(texts.back(), "Total keystroke commands: 1, multimap size: 1");
}

TEST_F(LegacyCommandsTest, KeystrokesUseTheFixedTableThenTheIndex) {
    EXPECT_EQ(convert(32, -77, 0), json({{"command", "media_playPause"}}));
    EXPECT_EQ(convert(32, 179, 0), json({{"command", "media_playPause"}})) << "the key code is a signed byte";
    EXPECT_EQ(convert(32, -90, 0), json({{"command", "browser_back"}}));
    EXPECT_EQ(convert(32, -77, 4), noAction) << "both columns must match";
    EXPECT_EQ(convert(32, 70, 64), json({{"command", "system_showSystemSearch"}}));
    EXPECT_EQ(convert(32, 68, 64), json({{"command", "desktop_showDesktop"}}));
    EXPECT_EQ(convert(32, 67, 4), json({{"command", "edit_copy"}}));
    EXPECT_EQ(convert(32, 65, 1), json({{"command", "text_upperA"}}));
    EXPECT_EQ(convert(32, 65, 4), noAction);
}

TEST_F(LegacyCommandsTest, WindowAndSessionCommandsHaveTheirMacros) {
    const std::pair<int, const char*> cases[] = {
        {196, "desktop_showDesktop"},
        {112, "system_lockScreen"},
        {198, "desktop_maximizeWindow"},
        {197, "desktop_minimizeWindow"},
        {199, "desktop_closeWindow"},
        {201, "desktop_minimizeAll"},
        {5, "noAction"},
    };
    for (auto [code, macro] : cases) {
        EXPECT_EQ(convert(code), json({{"command", macro}})) << code;
    }
    EXPECT_EQ(convert(4), std::nullopt) << "use global stores nothing";
    EXPECT_EQ(convert(60), std::nullopt) << "sequences store nothing";
    for (int code : {0, 3, 33, 200, -1}) {
        EXPECT_EQ(test::errorText([&] { convert(code); }), "Unknown command type") << code;
    }
}

TEST_F(LegacyCommandsTest, ClicksAreNamedByButtonAndRepeatWithTheirModifiers) {
    EXPECT_EQ(convert(48, 3, 4, 0), click("mouse_middleClick", "ctrl"));
    EXPECT_EQ(convert(49, 5, 0x55), click("mouse_button5Click", "alt,ctrl,shift,win"));
    EXPECT_EQ(convert(48, 2, 0, 2), click("mouse_rightDoubleClick", ""));
    EXPECT_EQ(convert(50, 1, 1, 2), click("mouse_leftDoubleClick", "shift"));
    EXPECT_EQ(convert(51, 2, 0, 3), click("mouse_tripleClick", ""));
    EXPECT_EQ(convert(40, 2, 0, 1), click("mouse_rightClick", "")) << "one click of a multiple click";
    EXPECT_EQ(convert(40, 4, 0, 2), noAction) << "no double-click macro for button 4";
    EXPECT_EQ(convert(50, 1, 0, 5), noAction);
    EXPECT_EQ(convert(49, 6), noAction);
    EXPECT_EQ(convert(52, 3, 16), click("mouse_middleDrag", "alt"));
    EXPECT_EQ(convert(52, 4), std::nullopt);
}

TEST_F(LegacyCommandsTest, SnippetsTakeTheirSlotFromTheArgument) {
    LegacyAction action{61, 3, 0, 0, "", "", Snippet{"Best regards", "Sign"}};
    EXPECT_EQ(convertLegacyAction(action, index),
              json::parse(R"({"command":"snippet","label":"Sign","content":"Best regards","index":2})"));
    action.argument = 0;
    EXPECT_EQ(convertLegacyAction(action, index), json({{"command", "snippetMenu"}}));
    action.snippet.reset();
    EXPECT_EQ(convertLegacyAction(action, index), std::nullopt);
}

TEST_F(LegacyCommandsTest, OpenActionsAreSortedByWhatTheyName) {
    test::TempFolder temp;
    const auto folder = (temp / "My documents").string();
    const auto file = (temp / "notes.txt").string();
    std::filesystem::create_directory(folder);
    test::writeFile(file, "x");
    auto open = [&](const std::string& name, const std::string& path) {
        return convertLegacyAction({64, 0, 0, 0, name, path, std::nullopt}, index);
    };
    auto opened = [](const char* macro, const std::string& label, const std::string& path) {
        return json{{"command", macro}, {"params", {{"label", label}, {"path", path}}}};
    };
    EXPECT_EQ(open("Search", "www.example.org"), opened("launching_openURL", "Search", "www.example.org"));
    EXPECT_EQ(open("Files", "FTP://host/x.exe"), opened("launching_openURL", "Files", "FTP://host/x.exe"));
    EXPECT_EQ(open("Tool", "C:\\Tools\\Tool.EXE"),
              opened("launching_openApplication", "Tool", "C:\\Tools\\Tool.EXE"));
    EXPECT_EQ(open("Docs", folder), opened("launching_openFolder", "", folder)) << "a name with a space";
    EXPECT_EQ(open(folder, ""), opened("launching_openFolder", "", folder))
        << "the name when there is no path";
    EXPECT_EQ(open("Notes", file), opened("launching_openFile", "", file));
    EXPECT_EQ(open("Gone", (temp / "gone").string()), noAction);
    EXPECT_EQ(open("", ""), noAction);
}

} // namespace
} // namespace obx
