#include "base/LogCapture.h"
#include "settings/Settings.h"
#include "support/ErrorText.h"
#include "support/RecordingPlatformServices.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

class SettingsProfilesTest : public ::testing::Test {
protected:
    SettingsProfilesTest() { platform->folder = temp.path().string(); }

    std::string savedText() const { return test::readFile(temp / "ObxSettings.json"); }
    bool saved() const { return fs::exists(temp / "ObxSettings.json"); }
    void forgetSaves() const { fs::remove(temp / "ObxSettings.json"); }

    test::TempFolder temp;
    test::ScopedRecordingPlatform platform;
    LogCapture capture;
    Settings settings;
};

TEST_F(SettingsProfilesTest, AddDeviceCreatesTheGlobalProfileOnceAndSavesOnlyThen) {
    platform->pointerSpeed = 35;
    settings.addDevice(4097);
    ASSERT_TRUE(saved());
    auto& global = settings.devices.at(4097).at("*");
    EXPECT_EQ(global.name, "*");
    EXPECT_EQ(global.fileName, "");
    EXPECT_EQ(global.owner, &settings);
    EXPECT_EQ(global.config.owner(), &global);
    EXPECT_EQ(global.config.speed, 35);

    global.config.speed = 80;
    forgetSaves();
    settings.addDevice(4097);
    EXPECT_FALSE(saved()) << "an existing entry is neither changed nor saved";
    EXPECT_EQ(settings.devices.at(4097).at("*").config.speed, 80);
}

TEST_F(SettingsProfilesTest, DeviceWhoseGlobalProfileCannotBeBuiltGetsNoEntry) {
    platform->systemQueryFailure = "no pointer settings";
    EXPECT_EQ(test::errorText([&] { settings.addDevice(4097); }), "no pointer settings");
    EXPECT_FALSE(settings.devices.contains(4097)) << "an entry without profiles would be saved as such";
    EXPECT_FALSE(saved());
    platform->systemQueryFailure.clear();
    settings.addDevice(4097);
    EXPECT_EQ(settings.appIdentifiers(4097), std::vector<std::string>{"*"});
    EXPECT_TRUE(saved());
}

TEST_F(SettingsProfilesTest, ListingsAreAscendingAndEmptyForUnknownDevices) {
    settings.addDevice(8000);
    settings.addDevice(4097);
    settings.createApp(4097, "Zed", "/z");
    settings.createApp(4097, "Alpha", "/a");
    EXPECT_EQ(settings.deviceIds(), (std::vector<std::uint16_t>{4097, 8000}));
    EXPECT_EQ(settings.appIdentifiers(4097), (std::vector<std::string>{"*", "/a", "/z"}));
    EXPECT_TRUE(settings.appIdentifiers(1).empty());
    EXPECT_EQ(settings.appName(4097, "/z"), "Zed");
    EXPECT_EQ(test::errorText([&] { settings.appName(1, "*"); }), "Device does not exist");
    EXPECT_EQ(test::errorText([&] { settings.appName(4097, "/Z"); }), "Application profile does not exist");
}

TEST_F(SettingsProfilesTest, FindConfigLooksUpByteForByteAndFallsBackOnlyWhenAsked) {
    settings.addDevice(4097);
    settings.createApp(4097, "Editor", "/usr/bin/editor");
    auto& global = settings.devices.at(4097).at("*").config;
    auto& editor = settings.devices.at(4097).at("/usr/bin/editor").config;
    EXPECT_EQ(&settings.findConfig(std::nullopt, 4097, false), &global);
    EXPECT_EQ(&settings.findConfig("/usr/bin/editor", 4097, false), &editor);
    EXPECT_EQ(&settings.findConfig("/USR/bin/editor", 4097, true), &global);
    EXPECT_EQ(test::errorText([&] { settings.findConfig("/USR/bin/editor", 4097, false); }),
              "Matching config for give process/device name not found!");
    EXPECT_EQ(test::errorText([&] { settings.findConfig(std::nullopt, 4098, true); }),
              "Setting for device does not exist");
    EXPECT_EQ(&settings.findConfig(u"/usr/bin/editor", 4097), &editor);
    EXPECT_EQ(&settings.findConfig(u"/usr/bin/other", 4097), &global) << "the UTF-16 form falls back";

    settings.devices.at(4097).erase("*");
    EXPECT_EQ(test::errorText([&] { settings.findConfig("/x", 4097, true); }),
              "Matching config for give process/device name not found!");
}

TEST_F(SettingsProfilesTest, FindProcessProfileLowersTheLettersAToZOnly) {
    EXPECT_EQ(settings.findProcessProfile(4097, "/usr/bin/editor"), "") << "no entry";
    settings.addDevice(4097);
    settings.createApp(4097, "Caf\xC3\x89", "/opt/Caf\xC3\x89/Run");
    EXPECT_EQ(settings.appIdentifiers(4097)[1], "/opt/caf\xC3\x89/run") << "the UTF-8 letter stays";
    EXPECT_EQ(settings.findProcessProfile(4097, "/OPT/CAF\xC3\x89/RUN"), "/opt/caf\xC3\x89/run");
    EXPECT_EQ(settings.findProcessProfile(4097, "/opt/other"), "*");
    EXPECT_EQ(settings.findProcessProfile(4097, u"/OPT/CAF\u00C9/RUN"), u"/opt/caf\u00C9/run");
    EXPECT_EQ(settings.findProcessProfile(4098, u"/opt"), u"");
}

TEST_F(SettingsProfilesTest, CreateAppStoresTheLowerCasedIdentifierOnce) {
    settings.addDevice(4097);
    capture.clear();
    settings.createApp(4097, "Editor", "C:\\Tools\\Editor.EXE");
    EXPECT_EQ(settings.appIdentifiers(4097), (std::vector<std::string>{"*", "c:\\tools\\editor.exe"}));
    const auto& profile = settings.devices.at(4097).at("c:\\tools\\editor.exe");
    EXPECT_EQ(profile.name, "Editor");
    EXPECT_EQ(profile.owner, &settings);
    EXPECT_EQ(profile.config.owner(), &profile);
    EXPECT_EQ(json::parse(savedText()).at("devices")[0][1].size(), 2u) << "saved";
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{
                  "Settings::createApp - appName: Editor, binaryPath: c:\\tools\\editor.exe"}));

    capture.clear();
    forgetSaves();
    EXPECT_EQ(test::errorText([&] { settings.createApp(4097, "Again", "c:\\TOOLS\\editor.exe"); }),
              "Application configuration already exists");
    EXPECT_EQ(capture.texts()[1], "\tconfiguration already exists");
    EXPECT_FALSE(saved());
    EXPECT_EQ(test::errorText([&] { settings.createApp(4098, "Editor", "/e"); }), "Device does not exist");
}

TEST_F(SettingsProfilesTest, NewProfileKeepsValuesAndOnlyPlainSingleClicks) {
    settings.addDevice(4097);
    auto& global = settings.devices.at(4097).at("*").config;
    global.speed = 64;
    global.scrollLines = 4;
    global.slowModifiers = 0x04;
    global.setButtonAction(0x4, {{"command", "keystroke"}, {"keyCode", 65}});
    global.setButtonAction(0x3, {{"command", "mouse_leftClick"}, {"params", {{"modifiers", "ctrl"}}}});
    global.setButtonAction(0x20, {{"command", "singleClick"}, {"button", 2}});
    global.setButtonAction(0x40,
                           {{"command", "snippet"}, {"content", "hello"}, {"label", "Hi"}, {"index", 1}});
    ASSERT_EQ(global.snippets()[1].content, "hello");
    ASSERT_EQ(global.chordMask(), 0x3u);

    settings.createApp(4097, "Editor", "/e");
    const auto& created = settings.devices.at(4097).at("/e").config;
    std::vector<std::uint32_t> masks;
    for (auto& [mask, text] : created.commands()) {
        masks.push_back(mask);
    }
    EXPECT_EQ(masks, (std::vector<std::uint32_t>{0x1, 0x2, 0x8, 0x10, 0x20}));
    EXPECT_EQ(created.actions().size(), 5u);
    for (auto& [mask, action] : created.actions()) {
        EXPECT_EQ(action->owner(), &created);
    }
    EXPECT_EQ(created.chordMask(), 0u);
    EXPECT_EQ(created.speed, 64);
    EXPECT_EQ(created.scrollLines, 4);
    EXPECT_EQ(created.slowModifiers, 0x04u);
    for (auto& slot : created.snippets()) {
        EXPECT_EQ(slot, Snippet{});
    }
    EXPECT_EQ(global.commands().size(), 10u) << "the global profile is not changed";
    EXPECT_EQ(global.snippets()[1].content, "hello");
}

TEST_F(SettingsProfilesTest, NewProfileDropsStoredCommandsThatCannotBeBuilt) {
    settings.fromJson(json::parse(R"({"platform":"windows","versionMajor":2,"versionMinor":0,"timestamp":0,
        "devices":[[4097,{"*":{"name":"*","fileName":"","config":{"id":0,"speed":50,"acceleration":false,
        "accelerationRate":0,"slowModifiers":"","slowDivider":0,"snapModifiers":"","inertialScroll":false,
        "scrollInvert":false,"scrollLines":1,"inertialScrollTimer":0,"inertialScrollFactor":0,
        "inertialScrollNullSteps":0,"commands":[[1,{"command":"mouse_leftClick"}],[2,{"command":"broken"}]]}}}]]})"));
    settings.createApp(4097, "Editor", "/e");
    EXPECT_EQ(settings.devices.at(4097).at("/e").config.commands().size(), 1u);
}

TEST_F(SettingsProfilesTest, CreateAppWithoutAGlobalProfileFailsClearly) {
    settings.addDevice(4097);
    settings.devices.at(4097).erase("*");
    EXPECT_EQ(test::errorText([&] { settings.createApp(4097, "Editor", "/e"); }),
              "Device has no global application profile to derive from");
    EXPECT_TRUE(settings.devices.at(4097).empty()) << "nothing half-made stays";
}

TEST_F(SettingsProfilesTest, DeleteAppRemovesTheLowerCasedProfileAndSaves) {
    settings.addDevice(4097);
    settings.createApp(4097, "Editor", "/usr/bin/editor");
    forgetSaves();
    capture.clear();
    settings.deleteApp(4097, "/USR/bin/Editor");
    EXPECT_EQ(settings.appIdentifiers(4097), std::vector<std::string>{"*"});
    EXPECT_TRUE(saved());
    EXPECT_EQ(capture.texts(),
              std::vector<std::string>{"Settings::deleteApp - , identifier: /usr/bin/editor"});

    capture.clear();
    forgetSaves();
    EXPECT_EQ(test::errorText([&] { settings.deleteApp(4097, "/usr/bin/editor"); }),
              "Application profile does not exist");
    EXPECT_EQ(capture.texts().back(), "\tapp not found");
    EXPECT_EQ(test::errorText([&] { settings.deleteApp(4097, "*"); }),
              "Cannot delete global application profile");
    EXPECT_EQ(test::errorText([&] { settings.deleteApp(4098, "*"); }),
              "Cannot delete global application profile")
        << "the global profile is refused before the device is looked up";
    EXPECT_EQ(test::errorText([&] { settings.deleteApp(4098, "/e"); }), "Device does not exist");
    EXPECT_FALSE(saved());
}

} // namespace
} // namespace obx
