#include "base/LogCapture.h"
#include "platform/DurableFile.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"
#include "support/ErrorText.h"
#include "support/RecordingPlatformServices.h"
#include "support/TempFolder.h"

#include <chrono>
#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

json settingsDocument(json devices) {
    return {{"devices", std::move(devices)},
            {"platform", "windows"},
            {"timestamp", 1700000000},
            {"versionMajor", 2},
            {"versionMinor", 0},
            {"trayIcon", false}};
}

json patched(json document, const json& patch) {
    document.merge_patch(patch);
    return document;
}

class SettingsFileTest : public ::testing::Test {
protected:
    SettingsFileTest() { platform->folder = folder().string(); }

    fs::path folder() const { return temp / "Halvex" / "Ombrix"; }
    fs::path file() const { return folder() / "ObxSettings.json"; }
    void writeSettings(const std::string& text) {
        fs::create_directories(folder());
        test::writeFile(file(), text);
    }

    test::TempFolder temp;
    test::ScopedRecordingPlatform platform;
    LogCapture capture;
};

TEST_F(SettingsFileTest, PathsFollowTheDataFolder) {
    EXPECT_EQ(settingsFilePath(), folder() / "ObxSettings.json");
    EXPECT_EQ(legacySettingsFilePath(), folder() / "ObxSettings.xml");
    platform->folder = "";
    EXPECT_EQ(settingsFilePath(), fs::path("ObxSettings.json"))
        << "no folder: relative to the working folder";
    platform->folder = "/tmp/caf\xC3\xA9";
    EXPECT_EQ(settingsFolder(), fs::path(u8"/tmp/café")) << "the folder is UTF-8 text";
}

TEST_F(SettingsFileTest, FirstStartCreatesTheFolderAndAnEmptyFile) {
    const auto before = now();
    Settings settings(true);
    EXPECT_TRUE(capture.contains(LogLevel::info, "Settings file not found, creating empty config"));
    ASSERT_TRUE(fs::is_regular_file(file()));
    const auto written = json::parse(test::readFile(file()));
    EXPECT_EQ(written.at("devices"), json::array());
    EXPECT_EQ(written.at("platform"), "windows");
    EXPECT_EQ(written.at("versionMajor"), 2);
    EXPECT_EQ(written.at("versionMinor"), 0);
    EXPECT_EQ(written.at("trayIcon"), true);
    EXPECT_GE(written.at("timestamp").get<std::int64_t>(), before);
    EXPECT_LE(written.at("timestamp").get<std::int64_t>(), now());
    EXPECT_EQ(written.at("timestamp"), settings.timestamp);
}

TEST_F(SettingsFileTest, FileIsIndentedByTwoUnescapedUtf8WithoutBomOrFinalLineBreak) {
    fs::create_directories(folder());
    Settings settings;
    settings.addDevice(4097);
    settings.createApp(4097, "Caf\xC3\xA9 \xE2\x9C\x93", "/usr/bin/cafe");
    const auto text = test::readFile(file());
    EXPECT_EQ(text, settings.toJson().dump(2));
    EXPECT_TRUE(text.starts_with("{\n  \"devices\": [\n    [\n      4097,"));
    EXPECT_TRUE(text.ends_with("\"versionMinor\": 0\n}"));
    EXPECT_NE(text.find("\"name\": \"Caf\xC3\xA9 \xE2\x9C\x93\""), std::string::npos);
    EXPECT_EQ(text.find("\\u"), std::string::npos);
}

// Each save writes the kept text of every unchanged profile: after every
// step of a history that touches each written field, renames, removes and
// re-creates profiles and replaces the whole settings, the file must be what
// a full conversion gives.
TEST_F(SettingsFileTest, EverySaveWritesWhatAFullConversionGives) {
    fs::create_directories(folder());
    Settings settings;
    std::vector<std::string> mismatches;
    auto step = [&](const std::string& name, auto change) {
        change();
        settings.save();
        if (test::readFile(file()) != settings.toJson().dump(2)) {
            mismatches.push_back(name);
        }
    };
    auto editor = [&]() -> DeviceConfig& { return settings.findConfig("/usr/bin/editor", 4097, false); };
    auto& profiles = settings.devices;

    step("empty", [] {});
    step("first device", [&] { settings.ensureDevice(4097); });
    step("profiles", [&] {
        settings.createApp(4097, "Editor", "/usr/bin/editor");
        settings.createApp(4097, "Caf\xC3\xA9 \"quoted\"", "/usr/bin/caf\xC3\xA9\\x");
    });
    step("id", [&] { editor().id = 3; });
    step("speed", [&] { editor().speed = 91; });
    step("acceleration", [&] { editor().acceleration = !editor().acceleration; });
    step("accelerationRate", [&] { editor().accelerationRate = 7; });
    step("slowModifiers", [&] { editor().slowModifiers = 0x04; });
    step("slowDivider", [&] { editor().slowDivider = 4; });
    step("snapModifiers", [&] { editor().snapModifiers = 0x11; });
    step("inertialScroll", [&] { editor().inertialScroll = true; });
    step("scrollInvert", [&] { editor().scrollInvert = true; });
    step("scrollLines", [&] { editor().scrollLines = 5; });
    step("inertialScrollTimer", [&] { editor().inertialScrollTimer = 6; });
    step("inertialScrollFactor", [&] { editor().inertialScrollFactor = 7; });
    step("inertialScrollNullSteps", [&] { editor().inertialScrollNullSteps = 8; });
    step("command", [&] { editor().setButtonAction(0x20, {{"command", "keystroke"}, {"keyCode", 65}}); });
    step("command replaced", [&] {
        editor().setButtonAction(0x20, {{"command", "keystroke"}, {"keyCode", 66}});
    });
    step("snippet", [&] { editor().setSnippet("text", "label", 9); });
    step("name", [&] { profiles.at(4097).at("/usr/bin/editor").name = "Editor 2"; });
    step("file name", [&] { profiles.at(4097).at("/usr/bin/editor").fileName = "editor.exe"; });
    step("deleted", [&] { settings.deleteApp(4097, "/usr/bin/editor"); });
    step("created again", [&] { settings.createApp(4097, "Editor", "/usr/bin/editor"); });
    step("deleted and created in one", [&] {
        settings.deleteApp(4097, "/usr/bin/editor");
        settings.createApp(4097, "Editor", "/usr/bin/editor");
        editor().speed = 12;
    });
    step("device before", [&] { settings.ensureDevice(1); });
    step("device after", [&] { settings.ensureDevice(65535); });
    step("same identifier on another device", [&] { settings.createApp(1, "Editor", "/usr/bin/editor"); });
    step("global", [&] { settings.findConfig(std::nullopt, 65535, false).speed = 1; });
    step("header", [&] { settings.trayIcon = !settings.trayIcon; });
    step("replaced whole", [&] {
        auto document = settings.toJson();
        document["devices"][1][1]["/usr/bin/editor"]["config"]["speed"] = 44;
        document["devices"].push_back(json::array({4099, json::object()}));
        settings.fromJson(document);
    });
    step("device without profiles removed", [&] { profiles.erase(4099); });
    step("all devices removed", [&] { profiles.clear(); });
    EXPECT_EQ(mismatches, std::vector<std::string>{});
}

TEST_F(SettingsFileTest, SavedSettingsReadBackEqual) {
    fs::create_directories(folder());
    Settings original;
    original.addDevice(4097);
    original.createApp(4097, "Editor", "/usr/bin/editor");
    original.findConfig("/usr/bin/editor", 4097, false).speed = 77;
    original.trayIcon = false;
    original.save();

    Settings reread(true);
    EXPECT_EQ(reread.toJson(), original.toJson());
    EXPECT_EQ(reread.findConfig("/usr/bin/editor", 4097, false).owner()->owner, &reread);
}

TEST_F(SettingsFileTest, UnreadableFilesAreKeptBesideThemselvesBeforeTheyAreReplaced) {
    const auto document = settingsDocument(json::array({json::array({4097, json::object()})})).dump();
    const std::pair<const char*, std::string> cases[] = {
        {"cut off", document.substr(0, document.size() / 2)},
        {"second entry is a number",
         settingsDocument(json::array({json::array({4097, json::object()}), 4098})).dump()},
        {"devices is an object", settingsDocument(json::object()).dump()},
        {"time stamp is text", patched(json::parse(document), {{"timestamp", "now"}}).dump()},
    };
    std::vector<std::string> kept;
    for (auto& [what, content] : cases) {
        writeSettings(content);
        capture.clear();
        Settings settings(true);
        EXPECT_TRUE(settings.devices.empty()) << what << ": nothing read before the bad part stays";
        EXPECT_TRUE(settings.trayIcon) << what;
        EXPECT_TRUE(capture.contains(LogLevel::warning, "Error loading settings, creating empty config"))
            << what;
        EXPECT_EQ(json::parse(test::readFile(file())), settings.toJson()) << what;
        kept.push_back(content);
    }
    EXPECT_EQ(test::readFile(folder() / "ObxSettings.json.bad"), kept[0]);
    EXPECT_TRUE(capture.contains(LogLevel::warning, "Unreadable settings file kept as " +
                                                        (folder() / "ObxSettings.json.bad.3").string()));
    for (std::size_t i = 1; i < kept.size(); ++i) {
        EXPECT_EQ(test::readFile(folder() / ("ObxSettings.json.bad." + std::to_string(i))), kept[i])
            << "an earlier backup is never overwritten";
    }
}

TEST_F(SettingsFileTest, NewerVersionsAndOtherPlatformsFailAndLeaveTheFileAlone) {
    const std::pair<json, const char*> cases[] = {
        {{{"versionMajor", 3}}, "Cannot load from a newer settings version"},
        {{{"versionMinor", 1}}, "Cannot load from a newer settings version"},
        {{{"platform", "linux"}}, "Platform mismatch"},
        {{{"platform", "Windows"}}, "Platform mismatch"},
    };
    for (auto& [patch, error] : cases) {
        const auto content = patched(settingsDocument(json::array()), patch).dump();
        writeSettings(content);
        EXPECT_EQ(test::errorText([] { Settings settings(true); }), error) << patch;
        EXPECT_EQ(test::readFile(file()), content);
        EXPECT_FALSE(fs::exists(folder() / "ObxSettings.json.bad"));
    }
}

TEST_F(SettingsFileTest, OlderVersionsAndFilesWithoutTrayIconReadAsUsual) {
    auto document = settingsDocument(json::array({json::array({4097, json::object()})}));
    document["versionMajor"] = 1;
    document["versionMinor"] = 7;
    document.erase("trayIcon");
    writeSettings(document.dump());
    Settings settings(true);
    EXPECT_TRUE(settings.devices.contains(4097));
    EXPECT_EQ(settings.timestamp, 1700000000) << "reading does not save";
    EXPECT_TRUE(settings.trayIcon);
    EXPECT_EQ(settings.versionMajor, 2u) << "reading never changes the own version";
    settings.save();
    EXPECT_EQ(json::parse(test::readFile(file())).at("trayIcon"), true);
}

TEST_F(SettingsFileTest, SettingsFolderThatIsAFileFailsTheLoad) {
    fs::create_directories(temp / "Halvex");
    test::writeFile(folder(), "not a folder");
    EXPECT_THROW(Settings settings(true), std::exception);
    EXPECT_EQ(test::readFile(folder()), "not a folder");
}

TEST_F(SettingsFileTest, SaveInterruptedBeforeTheRenameLeavesTheOldFileReadable) {
    fs::create_directories(folder());
    Settings original;
    original.addDevice(4097);
    const auto before = test::readFile(file());

    // What a save has done when it dies between writing and renaming.
    const auto temporary = fs::path(file()) += ".tmp";
    ASSERT_FALSE(writeFileDurably(temporary, "{\"devices\": [[4097, {\"*\": {\"na"));
    EXPECT_EQ(test::readFile(file()), before);
    Settings afterCrash(true);
    EXPECT_TRUE(afterCrash.devices.contains(4097));
    EXPECT_FALSE(fs::exists(folder() / "ObxSettings.json.bad"));

    afterCrash.addDevice(4098);
    EXPECT_FALSE(fs::exists(temporary)) << "the next save takes over the left-over file";
    EXPECT_EQ(json::parse(test::readFile(file())).at("devices").size(), 2u);
}

TEST_F(SettingsFileTest, SaveThatCannotWriteFailsLeavesTheFileWholeAndStillStampsTheTime) {
    fs::create_directories(folder());
    Settings settings;
    settings.addDevice(4097);
    const auto before = test::readFile(file());
    capture.clear();
    // The temporary file cannot be made, as on a full disk (a folder in its
    // place fails the write whoever runs the test).
    fs::create_directory(fs::path(file()) += ".tmp");
    settings.devices.clear();
    EXPECT_EQ(test::errorText([&] { settings.save(); }), "Error writing settings file");
    EXPECT_GE(settings.timestamp, now() - 1);
    EXPECT_EQ(test::readFile(file()), before);
    ASSERT_EQ(capture.records().size(), 1u);
    EXPECT_EQ(capture.records()[0].level, LogLevel::warning);
    EXPECT_TRUE(capture.records()[0].text.starts_with("Settings::save - cannot write " + file().string()));
}

TEST_F(SettingsFileTest, WritesNobodyAskedForAreLoggedAndTheSettingsStayInUse) {
    const auto obstacle = fs::path(file()) += ".tmp";
    fs::create_directories(obstacle);
    test::writeFile(obstacle / "content", "keeps the folder from being removed");
    Settings loaded(true); // no file: the empty settings cannot be written
    EXPECT_FALSE(fs::exists(file()));
    loaded.addDevice(4097);
    EXPECT_TRUE(loaded.devices.contains(4097));
    EXPECT_FALSE(fs::exists(file()));

    fs::remove_all(obstacle);
    loaded.save();
    EXPECT_EQ(json::parse(test::readFile(file())).at("devices").size(), 1u)
        << "the next save writes the entry";
}

TEST_F(SettingsFileTest, ReplacingKeepsNoTemporaryFile) {
    fs::create_directories(folder());
    Settings settings;
    settings.save();
    settings.save();
    std::vector<fs::path> names;
    for (auto& entry : fs::directory_iterator(folder())) {
        names.push_back(entry.path().filename());
    }
    EXPECT_EQ(names, std::vector<fs::path>{"ObxSettings.json"});
}

} // namespace
} // namespace obx
