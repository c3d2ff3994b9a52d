#include "settings/Settings.h"
#include "support/RecordingPlatformServices.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;

json configObject() {
    return json::parse(R"({"id":7,"speed":40,"acceleration":true,"accelerationRate":60,
        "slowModifiers":"ctrl","slowDivider":3,"snapModifiers":"alt,shift","inertialScroll":true,
        "scrollInvert":false,"scrollLines":3,"inertialScrollTimer":11,"inertialScrollFactor":12,
        "inertialScrollNullSteps":13,"commands":[[2,{"command":"mouse_rightClick","params":null}]]})");
}

json settingsObject(json devices) {
    return {{"devices", std::move(devices)},
            {"platform", "windows"},
            {"timestamp", 1700000000},
            {"versionMajor", 2},
            {"versionMinor", 0}};
}

json profileObject(const std::string& name) {
    return {{"name", name}, {"fileName", ""}, {"config", configObject()}};
}

class SettingsJsonTest : public ::testing::Test {
protected:
    test::ScopedRecordingPlatform platform;
};

TEST_F(SettingsJsonTest, ScrollLinesBelowOneReadAsOneAndFractionsAreCut) {
    DeviceConfig config(nullptr);
    for (auto [value, expected] : {std::pair<json, int>{0, 1}, {-5, 1}, {3.9, 3}, {7, 7}}) {
        auto object = configObject();
        object["scrollLines"] = value;
        config.fromJson(object);
        EXPECT_EQ(config.scrollLines, expected) << value;
    }
}

TEST_F(SettingsJsonTest, RequiredNumbersTakeBooleansButNotStrings) {
    DeviceConfig config(nullptr);
    auto object = configObject();
    object["speed"] = true;
    config.fromJson(object);
    EXPECT_EQ(config.speed, 1);
    object["speed"] = 1e10;
    config.fromJson(object);
    EXPECT_EQ(config.speed, INT32_MAX) << "clamped, not converted out of range";
    object["speed"] = "5";
    EXPECT_THROW(config.fromJson(object), json::type_error);
    object = configObject();
    object["acceleration"] = 1;
    EXPECT_THROW(config.fromJson(object), json::type_error) << "a required boolean takes only a boolean";
    object = configObject();
    object.erase("inertialScrollNullSteps");
    EXPECT_THROW(config.fromJson(object), json::out_of_range);
}

TEST_F(SettingsJsonTest, ModifierStringsAreTolerantOnReadingAndCanonicalOnWriting) {
    DeviceConfig config(nullptr);
    auto object = configObject();
    object["slowModifiers"] = " Ctrl , SHIFT,mouse";
    config.fromJson(object);
    EXPECT_EQ(config.slowModifiers, 0x05u);
    EXPECT_EQ(config.toJson().at("slowModifiers"), "ctrl,shift");
    config.snapModifiers = 0x55;
    EXPECT_EQ(config.toJson().at("snapModifiers"), "alt,ctrl,shift,win");
    config.snapModifiers = 0x02;
    EXPECT_EQ(config.toJson().at("snapModifiers"), "");
}

TEST_F(SettingsJsonTest, SnippetListsAreCutOrPaddedToTenAndKeptWhenAbsent) {
    DeviceConfig config(nullptr);
    auto object = configObject();
    object["snippets"] = json::array();
    for (int i = 0; i < 12; ++i) {
        object["snippets"].push_back(
            {{"content", "c" + std::to_string(i)}, {"label", "l" + std::to_string(i)}});
    }
    config.fromJson(object);
    EXPECT_EQ(config.snippets()[9], (Snippet{"c9", "l9"}));

    object.erase("snippets");
    config.fromJson(object);
    EXPECT_EQ(config.snippets()[9], (Snippet{"c9", "l9"})) << "without \"snippets\" the slots stay";

    object["snippets"] = json::array({{{"content", "a"}}, {{"content", "b"}, {"label", "B"}}});
    config.fromJson(object);
    EXPECT_EQ(config.snippets()[0], (Snippet{"a", ""}));
    EXPECT_EQ(config.snippets()[1], (Snippet{"b", "B"}));
    for (std::size_t i = 2; i < 10; ++i) {
        EXPECT_EQ(config.snippets()[i], Snippet{});
    }

    object["snippets"] = json::array({{{"label", "no content"}}});
    EXPECT_THROW(config.fromJson(object), json::out_of_range);
}

TEST_F(SettingsJsonTest, FirstOfTwoEqualMasksWinsAndCommandsMustBePairs) {
    DeviceConfig config(nullptr);
    auto object = configObject();
    object["commands"] =
        json::parse(R"([[4,{"command":"mouse_leftClick"}],[4,{"command":"mouse_rightClick"}]])");
    config.fromJson(object);
    EXPECT_EQ(config.commands().size(), 1u);
    EXPECT_EQ(config.commands().at(4), R"({"command":"mouse_leftClick"})");

    object["commands"] = json::parse(R"([4])");
    EXPECT_THROW(config.fromJson(object), json::type_error);
    object["commands"] = json::parse(R"([[4]])");
    EXPECT_THROW(config.fromJson(object), json::out_of_range);
}

TEST_F(SettingsJsonTest, ConfigurationIsWrittenByteForByte) {
    DeviceConfig config(nullptr);
    config.fromJson(configObject());
    EXPECT_EQ(
        config.toJson().dump(),
        R"({"acceleration":true,"accelerationRate":60,"commands":[[2,{"command":"mouse_rightClick","params":null}]],)"
        R"("id":7,"inertialScroll":true,"inertialScrollFactor":12,"inertialScrollNullSteps":13,)"
        R"("inertialScrollTimer":11,"scrollInvert":false,"scrollLines":3,"slowDivider":3,"slowModifiers":"ctrl",)"
        R"("snapModifiers":"alt,shift","snippets":[{"content":"","label":""},{"content":"","label":""},)"
        R"({"content":"","label":""},{"content":"","label":""},{"content":"","label":""},)"
        R"({"content":"","label":""},{"content":"","label":""},{"content":"","label":""},)"
        R"({"content":"","label":""},{"content":"","label":""}],"speed":40})");
}

TEST_F(SettingsJsonTest, SettingsAreWrittenIndentedByTwoInKeyOrder) {
    Settings settings;
    settings.timestamp = 42;
    settings.trayIcon = false;
    EXPECT_EQ(settings.toJson().dump(2), "{\n"
                                         "  \"devices\": [],\n"
                                         "  \"platform\": \"windows\",\n"
                                         "  \"timestamp\": 42,\n"
                                         "  \"trayIcon\": false,\n"
                                         "  \"versionMajor\": 2,\n"
                                         "  \"versionMinor\": 0\n"
                                         "}");
}

TEST_F(SettingsJsonTest, RoundTripGivesAnEqualObjectWithOwnersSet) {
    Settings settings;
    settings.fromJson(settingsObject(json::array({json::array({4097,
                                                               {{"*", profileObject("*")},
                                                                {"c:\\apps\\\xc3\xa9"
                                                                 "dit.exe",
                                                                 profileObject("Edit")}}}),
                                                  json::array({49152, {{"*", profileObject("*")}}})})));
    ASSERT_EQ(settings.devices.size(), 2u);
    for (auto& [id, profiles] : settings.devices) {
        for (auto& [identifier, profile] : profiles) {
            EXPECT_EQ(profile.owner, &settings);
            EXPECT_EQ(profile.config.owner(), &profile);
            EXPECT_EQ(profile.config.actions().at(2)->owner(), &profile.config);
        }
    }
    Settings reread;
    reread.fromJson(settings.toJson());
    EXPECT_EQ(reread.toJson(), settings.toJson());
    EXPECT_NE(settings.toJson().dump(2).find("\xc3\xa9"), std::string::npos) << "non-ASCII stays UTF-8";

    Settings copy(settings);
    auto& copied = copy.devices.at(4097).at("*");
    EXPECT_EQ(copied.owner, &copy);
    EXPECT_EQ(copied.config.owner(), &copied);
}

TEST_F(SettingsJsonTest, FirstOfTwoDeviceEntriesWithOneIdWins) {
    Settings settings;
    settings.fromJson(settingsObject(json::array({json::array({4097, {{"*", profileObject("first")}}}),
                                                  json::array({4097, {{"*", profileObject("second")}}})})));
    EXPECT_EQ(settings.devices.at(4097).at("*").name, "first");
}

TEST_F(SettingsJsonTest, MalformedDeviceListsAreTheLibrarysErrors) {
    Settings settings;
    EXPECT_THROW(settings.fromJson(settingsObject(json::object())), json::type_error);
    EXPECT_THROW(
        settings.fromJson(settingsObject(json::array({json::array({1, {{"*", profileObject("*")}}}), 5}))),
        json::type_error);
}

TEST_F(SettingsJsonTest, PlatformAndVersionAreCheckedBeforeAnythingChanges) {
    Settings settings;
    settings.timestamp = 5;
    auto object = settingsObject(json::array());
    object["platform"] = "linux";
    try {
        settings.fromJson(object);
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Platform mismatch");
    }
    for (auto [major, minor] : {std::pair{3, 0}, {2, 1}}) {
        object = settingsObject(json::array());
        object["versionMajor"] = major;
        object["versionMinor"] = minor;
        try {
            settings.fromJson(object);
            FAIL();
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Cannot load from a newer settings version");
        }
    }
    EXPECT_EQ(settings.timestamp, 5);

    object = settingsObject(json::array());
    object["versionMajor"] = 1;
    object["versionMinor"] = 9;
    settings.fromJson(object);
    EXPECT_EQ(settings.timestamp, 1700000000);
    EXPECT_EQ(settings.versionMajor, 2u) << "reading never changes this build's version";
}

TEST_F(SettingsJsonTest, TrayIconAcceptsBooleansAndTexts) {
    Settings settings;
    auto object = settingsObject(json::array());
    for (auto [value, expected] : {std::pair<json, bool>{false, false},
                                   {"FALSE", false},
                                   {"0", false},
                                   {"no", true},
                                   {"", true},
                                   {true, true}}) {
        object["trayIcon"] = value;
        settings.fromJson(object);
        EXPECT_EQ(settings.trayIcon, expected) << value;
    }
    object.erase("trayIcon");
    settings.trayIcon = false;
    settings.fromJson(object);
    EXPECT_TRUE(settings.trayIcon);
    object["trayIcon"] = 1;
    EXPECT_THROW(settings.fromJson(object), json::type_error);
}

} // namespace
} // namespace obx
