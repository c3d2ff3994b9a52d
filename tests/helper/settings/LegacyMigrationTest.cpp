#include "settings/LegacyMigration.h"

#include "base/LogCapture.h"
#include "settings/Settings.h"
#include "settings/Utf16Text.h"
#include "support/RecordingPlatformServices.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// A file as the earlier generation wrote it, by hand: models 1 and 4 in the
// global profile, model 5 (the same settings as 4) for an editor that a
// second element names again in other letter case.
const char* const legacySettings = R"(<?xml version="1.0" encoding="utf-16"?>
<ObxSettings version="3">
  <Preferences showTray="1"/>
  <Application name="All programs">
    <Device id="1" speed="10" acceleration="2" scrollingInvert="True" inertialscroll="0"
            snapModifiers="20" slowDownModifiers="  5xyz">
      <Button3><Action command="48" argument="3" repeat="0" modifiers="4"/></Button3>
      <ButtonChord1><Action command="5"/></ButtonChord1>
      <Button4><Action command="32" argument="-77" modifiers="0"/></Button4>
      <Button5><Action command="61" argument="3"><Snippet label="Sign" string="Gr&#252;&#223;e"/></Action></Button5>
      <Button6><Action command="64" name="Search" path="www.example.org"/></Button6>
      <IncrementWheel><Action command="49" argument="2"/></IncrementWheel>
    </Device>
    <Device id="0" speed="20"/>
    <Device id="4" speed="0" acceleration="5">
      <Button1><Action command="49" argument="2"/></Button1>
      <Button2><Action command="999"/></Button2>
      <Button3><Action command="49" argument="1"/></Button3>
    </Device>
  </Application>
  <Application executable="C:\Tools\Editor.EXE" name="Editor">
    <Device id="5" speed="4"/>
  </Application>
  <Application executable="c:\tools\EDITOR.exe" name="Second name">
    <Device id="5" speed="30">
      <ButtonChord2><Action command="52" argument="1" modifiers="1"/></ButtonChord2>
    </Device>
  </Application>
</ObxSettings>)";

std::string utf16Bytes(const std::string& text, bool littleEndian, bool mark) {
    std::string bytes;
    auto put = [&](char16_t unit) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += littleEndian ? std::string{low, high} : std::string{high, low};
    };
    if (mark) {
        put(0xFEFF);
    }
    for (char16_t unit : utf8ToUtf16(text)) {
        put(unit);
    }
    return bytes;
}

class LegacyMigrationTest : public ::testing::Test {
protected:
    LegacyMigrationTest() { platform->folder = temp.path().string(); }

    fs::path legacyFile() const { return temp / "ObxSettings.xml"; }
    fs::path settingsFile() const { return temp / "ObxSettings.json"; }

    // The migrated settings as they read back, without the save time.
    json migrated(const std::string& legacyBytes) {
        test::writeFile(legacyFile(), legacyBytes);
        legacy::migrate();
        EXPECT_EQ(test::readFile(legacyFile()), legacyBytes) << "the legacy file is only read";
        auto document = json::parse(test::readFile(settingsFile()));
        document.erase("timestamp");
        fs::remove(settingsFile());
        return document;
    }

    const DeviceConfig& config(Settings& settings, std::uint16_t id, const std::string& identifier) {
        return settings.devices.at(id).at(identifier).config;
    }

    test::TempFolder temp;
    test::ScopedRecordingPlatform platform;
    LogCapture capture;
};

TEST_F(LegacyMigrationTest, EitherByteOrderWithOrWithoutMarkGivesTheSameSettings) {
    const auto reference = migrated(utf16Bytes(legacySettings, true, true));
    EXPECT_EQ(migrated(utf16Bytes(legacySettings, false, false)), reference);
    EXPECT_EQ(migrated(utf16Bytes(legacySettings, false, true)), reference);
    EXPECT_EQ(migrated(utf16Bytes(legacySettings, true, false)), reference);
    EXPECT_EQ(reference.at("devices").size(), 2u);
}

TEST_F(LegacyMigrationTest, ValuesAndButtonsAreConverted) {
    test::writeFile(legacyFile(), utf16Bytes(legacySettings, true, true));
    legacy::migrate();
    EXPECT_TRUE(capture.contains(LogLevel::info, "Loading from legacy application node: *"));
    EXPECT_TRUE(
        capture.contains(LogLevel::info, "Loading from legacy application node: C:\\Tools\\Editor.EXE"));
    Settings settings(true);
    EXPECT_EQ(settings.deviceIds(), (std::vector<std::uint16_t>{8209, 8212}));

    const auto& first = config(settings, 8209, "*");
    EXPECT_EQ(first.speed, 50);
    EXPECT_EQ(first.accelerationRate, 50);
    EXPECT_TRUE(first.scrollInvert);
    EXPECT_FALSE(first.inertialScroll);
    EXPECT_EQ(first.snapModifiers, 0x14u);
    EXPECT_EQ(first.slowModifiers, 0x05u);
    EXPECT_EQ(first.commands().at(0x4), R"({"command":"mouse_middleClick","params":{"modifiers":"ctrl"}})");
    EXPECT_EQ(first.commands().at(0x3), R"({"command":"noAction"})");
    EXPECT_EQ(first.commands().at(0x8), R"({"command":"media_playPause"})");
    EXPECT_EQ(first.commands().at(0x10), "{\"command\":\"snippet\",\"content\":\"Gr\xC3\xBC\xC3\x9F"
                                         "e\",\"index\":2,\"label\":\"Sign\"}");
    EXPECT_EQ(first.snippets()[2], (Snippet{"Gr\xC3\xBC\xC3\x9F"
                                            "e",
                                            "Sign"}));
    EXPECT_EQ(first.commands().at(0x20),
              R"({"command":"launching_openURL","params":{"label":"Search","path":"www.example.org"}})");
    EXPECT_EQ(first.commands().at(0x1), R"({"command":"mouse_leftClick","params":null})") << "untouched";
    EXPECT_EQ(first.chordMask(), 0u) << "the chord holds no action";
    EXPECT_EQ(first.actions().size(), first.commands().size());

    const auto& global = config(settings, 8212, "*");
    EXPECT_EQ(global.speed, 1);
    EXPECT_EQ(global.accelerationRate, 100);
    EXPECT_EQ(global.commands().at(0x1), R"({"command":"mouse_rightClick","params":{"modifiers":""}})");
    EXPECT_EQ(global.commands().at(0x4), R"({"command":"mouse_middleClick","params":null})")
        << "the buttons after an unknown command are not converted";

    ASSERT_EQ(settings.appIdentifiers(8212), (std::vector<std::string>{"*", "c:\\tools\\editor.exe"}));
    EXPECT_EQ(settings.appName(8212, "c:\\tools\\editor.exe"), "Editor");
    const auto& editor = config(settings, 8212, "c:\\tools\\editor.exe");
    EXPECT_EQ(editor.speed, 100) << "the later element wins";
    EXPECT_EQ(editor.commands().at(0xC), R"({"command":"mouse_leftDrag","params":{"modifiers":"shift"}})");
    EXPECT_EQ(editor.chordMask(), 0xCu);
}

TEST_F(LegacyMigrationTest, RunsOnlyWhenTheLegacyFileIsTheOnlyOne) {
    legacy::migrate();
    EXPECT_FALSE(fs::exists(settingsFile()));

    test::writeFile(legacyFile(), utf16Bytes(legacySettings, true, true));
    test::writeFile(settingsFile(), "kept");
    legacy::migrate();
    EXPECT_EQ(test::readFile(settingsFile()), "kept");
}

TEST_F(LegacyMigrationTest, FailuresAreLoggedAndWriteNoSettings) {
    const std::pair<const char*, std::string> cases[] = {
        {"not XML", utf16Bytes("<ObxSettings><Application>", true, true)},
        {"another root", utf16Bytes("<Settings><Application/></Settings>", true, true)},
        {"UTF-8 text", legacySettings},
    };
    for (auto& [what, bytes] : cases) {
        test::writeFile(legacyFile(), bytes);
        capture.clear();
        legacy::migrate();
        EXPECT_TRUE(
            capture.contains(LogLevel::warning, "Error migrating old settings, using default settings.."))
            << what;
        EXPECT_FALSE(fs::exists(settingsFile())) << what;
    }
}

TEST_F(LegacyMigrationTest, MissingMacrosFileEndsTheMigration) {
    test::writeFile(legacyFile(), utf16Bytes(legacySettings, true, true));
    legacy::migrate(temp / "missing.json");
    EXPECT_TRUE(
        capture.contains(LogLevel::warning, "Error migrating old settings, using default settings.."));
    EXPECT_FALSE(fs::exists(settingsFile()));
}

TEST_F(LegacyMigrationTest, EmptyLegacySettingsGiveAnEmptySettingsFile) {
    test::writeFile(legacyFile(), utf16Bytes("<ObxSettings/>", false, false));
    legacy::migrate();
    EXPECT_EQ(json::parse(test::readFile(settingsFile())).at("devices"), json::array());
}

} // namespace
} // namespace obx
