#include "devices/DeviceManagerBase.h"

#include "base/LogCapture.h"
#include "settings/Settings.h"
#include "support/ErrorText.h"
#include "support/FakeDevice.h"
#include "support/RecordingPlatformServices.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr std::uint16_t model = 4097;
const std::string editor = "/usr/bin/editor";

// Counts how deep the lock is held, so that devices can tell whether they
// are called under it.
class CountingManager : public DeviceManagerBase {
public:
    void lock() override {
        DeviceManagerBase::lock();
        ++depth;
        ++locks;
    }
    void unlock() override {
        --depth;
        DeviceManagerBase::unlock();
    }
    int depth = 0;
    int locks = 0;
};

class ObservingDevice : public test::FakeDevice {
public:
    explicit ObservingDevice(const CountingManager& manager) : manager_(manager) {}
    DeviceInterfaceKind interfaceKind = DeviceInterfaceKind::usb;
    std::vector<int> depthsSeen;

    DeviceInterfaceKind getInterface() const override { return interfaceKind; }
    void applyPointerConfig() override {
        depthsSeen.push_back(manager_.depth);
        FakeDevice::applyPointerConfig();
    }

private:
    const CountingManager& manager_;
};

class DeviceManagerBaseTest : public ::testing::Test {
protected:
    DeviceManagerBaseTest() {
        platform->folder = temp.path().string();
        auto settings = std::make_unique<Settings>();
        settings->addDevice(model);
        settings->createApp(model, "Editor", editor);
        manager.useSettings(std::move(settings));
        forgetSaves();
    }

    Settings& settings() { return *manager.settings(); }
    DeviceConfig& config(const std::string& identifier) {
        return settings().devices.at(model).at(identifier).config;
    }
    bool saved() const { return fs::exists(temp / "ObxSettings.json"); }
    void forgetSaves() const { fs::remove(temp / "ObxSettings.json"); }

    // A present device of configuration id, showing the given profile.
    std::shared_ptr<ObservingDevice> present(std::uint16_t id, const std::string& identifier) {
        auto device = std::make_shared<ObservingDevice>(manager);
        device->id = id;
        device->config = &settings().devices.at(id).at(identifier).config;
        manager.devices().push_back(device);
        return device;
    }

    test::TempFolder temp;
    test::ScopedRecordingPlatform platform;
    LogCapture capture;
    CountingManager manager;
};

TEST_F(DeviceManagerBaseTest, EveryOperationHoldsTheLockAlsoWhenItFails) {
    auto device = present(model, "*");
    manager.setPointerConfig(std::nullopt, model, {{"speed", 10}});
    EXPECT_EQ(device->depthsSeen, std::vector<int>{1}) << "devices re-apply under the lock";
    EXPECT_EQ(manager.depth, 0);

    const int before = manager.locks;
    EXPECT_THROW(manager.getPointerConfig("/unknown", model), std::runtime_error);
    EXPECT_THROW(manager.setPointerConfig(std::nullopt, model, {{"speed", "fast"}}), json::type_error);
    EXPECT_EQ(manager.locks, before + 2);
    EXPECT_EQ(manager.depth, 0);

    DeviceManagerBase empty;
    EXPECT_EQ(test::errorText([&] { empty.getSettings(); }), "Settings are not loaded");
    EXPECT_EQ(test::errorText([&] { empty.getTrayIcon(); }), "Settings are not loaded");
}

TEST_F(DeviceManagerBaseTest, ProfilesAreFoundByExactIdentifierWithoutFallback) {
    config("*").speed = 11;
    config(editor).speed = 22;
    EXPECT_EQ(manager.getPointerConfig(std::nullopt, model).at("speed"), 11);
    EXPECT_EQ(manager.getPointerConfig(editor, model).at("speed"), 22);
    EXPECT_EQ(test::errorText([&] { manager.getPointerConfig("/USR/bin/editor", model); }),
              "Matching config for give process/device name not found!");
    EXPECT_EQ(test::errorText([&] { manager.getScrollWheelConfig(std::nullopt, 4098); }),
              "Setting for device does not exist");
}

TEST_F(DeviceManagerBaseTest, PointerConfigIsReadAndWrittenUnderItsOwnKeys) {
    auto& global = config("*");
    global.snapModifiers = 0x11;
    global.slowModifiers = 0x04;
    global.acceleration = true;
    global.accelerationRate = 30;
    EXPECT_EQ(manager.getPointerConfig(std::nullopt, model), (json{{"speed", global.speed},
                                                                   {"acceleration", true},
                                                                   {"accelerationRate", 30},
                                                                   {"slowModifiers", "ctrl"},
                                                                   {"lockedAxisModifiers", "alt,shift"}}));

    capture.clear();
    const json body = {
        {"speed", 42.9}, {"accelerationRate", true}, {"lockedAxisModifiers", "Win"}, {"other", 1}};
    manager.setPointerConfig(std::nullopt, model, body);
    EXPECT_EQ(global.speed, 42);
    EXPECT_EQ(global.accelerationRate, 1);
    EXPECT_EQ(global.snapModifiers, 0x40u);
    EXPECT_TRUE(global.acceleration) << "absent keys leave their fields";
    EXPECT_EQ(global.slowModifiers, 0x04u);
    EXPECT_TRUE(saved());
    EXPECT_EQ(capture.texts(),
              std::vector<std::string>{"DeviceManagerBase::setPointerConfig - app: , device: 4097, "
                                       "config: " +
                                       body.dump()});

    manager.setPointerConfig(std::nullopt, model, {{"speed", 1e10}, {"accelerationRate", -1e10}});
    manager.setScrollWheelConfig(std::nullopt, model, {{"speed", 5e9}});
    EXPECT_EQ(global.speed, INT32_MAX) << "out-of-range numbers are clamped";
    EXPECT_EQ(global.accelerationRate, INT32_MIN);
    EXPECT_EQ(global.scrollLines, INT32_MAX);
}

TEST_F(DeviceManagerBaseTest, RefusedPointerOrWheelBodyChangesNothing) {
    auto device = present(model, "*");
    auto& global = config("*");
    const auto before = global.toJson();
    const json refused[] = {
        {{"speed", 10}, {"acceleration", 1}},
        {{"accelerationRate", 5}, {"slowModifiers", 4}},
        json::array({1}),
    };
    for (auto& body : refused) {
        EXPECT_THROW(manager.setPointerConfig(std::nullopt, model, body), json::type_error) << body;
    }
    EXPECT_THROW(manager.setScrollWheelConfig(std::nullopt, model, {{"speed", 3}, {"invert", "yes"}}),
                 json::type_error);
    EXPECT_EQ(global.toJson(), before);
    EXPECT_FALSE(saved());
    EXPECT_EQ(device->pointerApplied + device->scrollApplied, 0);
}

TEST_F(DeviceManagerBaseTest, ChangesReachOnlyTheDevicesUsingTheChangedProfile) {
    auto onGlobal = present(model, "*");
    auto onEditor = present(model, editor);
    settings().addDevice(8000);
    auto otherModel = present(8000, "*");
    onEditor->realId = 0x2002;

    manager.setPointerConfig(editor, model, {{"speed", 30}});
    EXPECT_EQ(onEditor->pointerApplied, 1);
    EXPECT_EQ(onGlobal->pointerApplied + otherModel->pointerApplied, 0);

    capture.clear();
    manager.setScrollWheelConfig(editor, model, {{"inertial", true}});
    EXPECT_EQ(onEditor->pointerApplied, 2);
    EXPECT_EQ(onEditor->scrollApplied, 1);
    EXPECT_TRUE(capture.contains(LogLevel::debug, "Updating scroll params of real device id: 8194"));

    manager.setButtonAction(std::nullopt, model, 0x8, {{"command", "noAction"}});
    EXPECT_EQ(onGlobal->buttonsApplied, 1);
    EXPECT_EQ(onEditor->buttonsApplied + otherModel->buttonsApplied, 0);

    // A device on another profile of the same name has nothing new to apply.
    settings().devices.at(model).at(editor).name = "*";
    manager.setPointerConfig(std::nullopt, model, json::object());
    EXPECT_EQ(onGlobal->pointerApplied, 1);
    EXPECT_EQ(onEditor->pointerApplied, 2);
}

TEST_F(DeviceManagerBaseTest, WheelLinesZeroIsStoredAsOneAndNegativeAsGiven) {
    auto device = present(model, "*");
    auto& global = config("*");
    EXPECT_EQ(
        manager.getScrollWheelConfig(std::nullopt, model),
        (json{{"wheel", "vert"}, {"speed", global.scrollLines}, {"invert", false}, {"inertial", false}}));
    manager.setScrollWheelConfig(std::nullopt, model, {{"speed", 0}, {"invert", true}});
    EXPECT_EQ(global.scrollLines, 1);
    EXPECT_TRUE(global.scrollInvert);
    manager.setScrollWheelConfig(std::nullopt, model, {{"speed", -3}});
    EXPECT_EQ(global.scrollLines, -3);

    forgetSaves();
    const auto before = global.toJson();
    manager.setScrollWheelConfig(std::nullopt, model, {{"wheel", "horz"}});
    EXPECT_EQ(global.toJson(), before);
    EXPECT_TRUE(saved()) << "a body without known keys still saves and re-applies";
    EXPECT_EQ(device->scrollApplied, 3);
}

TEST_F(DeviceManagerBaseTest, ButtonActionsAndSnippetsGoThroughTheProfileConfiguration) {
    capture.clear();
    EXPECT_EQ(manager.getButtonAction(editor, model, 0x2),
              (json{{"command", "mouse_rightClick"}, {"params", nullptr}}));
    EXPECT_TRUE(manager.getButtonAction(editor, model, 0x40000000).is_null())
        << "a new profile keeps plain clicks only";
    EXPECT_EQ(manager.getButtonAction(editor, model, 0).size(), 5u);
    EXPECT_EQ(capture.texts()[0], "DeviceManagerBase::getButtonAction - app: /usr/bin/editor, device: 4097, "
                                  "buttonMask: 2");

    capture.clear();
    const json snippet = {{"command", "snippet"}, {"content", "Regards"}, {"label", "Sign"}, {"index", 2}};
    manager.setButtonAction(editor, model, 0x80000000, snippet);
    EXPECT_EQ(capture.texts()[0], "DeviceManagerBase::setButtonAction - app: /usr/bin/editor, device: 4097, "
                                  "buttonMask: 2147483648, action: " +
                                      snippet.dump());
    EXPECT_TRUE(saved());
    const auto snippets = manager.getSnippets(editor, model);
    ASSERT_EQ(snippets.size(), 10u);
    EXPECT_EQ(snippets[2], (json{{"label", "Sign"}, {"content", "Regards"}}));
    EXPECT_EQ(snippets[0], (json{{"label", ""}, {"content", ""}}));
    EXPECT_TRUE(capture.contains(LogLevel::debug,
                                 "DeviceManagerBase::getSnippets - app: /usr/bin/editor, device: 4097"));

    forgetSaves();
    EXPECT_THROW(manager.setButtonAction(editor, model, 0x4, {{"command", "noSuchMacro"}}),
                 std::runtime_error);
    EXPECT_FALSE(saved());
}

TEST_F(DeviceManagerBaseTest, GeneralConfigWritesTheTimeStampWithHyphens) {
    const std::pair<std::int64_t, const char*> stamps[] = {
        {0, "1970-01-01T00-00-00.000Z"},
        {1700000000, "2023-11-14T22-13-20.000Z"},
        {951782400, "2000-02-29T00-00-00.000Z"},
        {-1, "1969-12-31T23-59-59.000Z"},
    };
    for (auto [stamp, text] : stamps) {
        settings().timestamp = stamp;
        EXPECT_EQ(manager.getGeneralConfig(), (json{{"timeStamp", text}, {"trayIcon", true}}));
    }
}

TEST_F(DeviceManagerBaseTest, TrayIconIsSavedOnlyWhenTheGeneralConfigChangesIt) {
    EXPECT_THROW(manager.setGeneralConfig({{"trayIcon", "false"}}), json::type_error);
    manager.setGeneralConfig({{"trayIcon", true}});
    manager.setGeneralConfig({{"other", false}});
    EXPECT_FALSE(saved());
    manager.setGeneralConfig({{"trayIcon", false}});
    EXPECT_TRUE(saved());
    EXPECT_FALSE(manager.getTrayIcon());

    forgetSaves();
    manager.setTrayIcon(true);
    EXPECT_TRUE(manager.getTrayIcon());
    EXPECT_FALSE(saved()) << "setTrayIcon keeps the flag in memory only";
}

TEST_F(DeviceManagerBaseTest, DevicesListEveryEntryWithItsPresentTrackballs) {
    settings().addDevice(8000);
    auto wired = present(model, "*");
    auto wireless = present(model, editor);
    wired->realId = 4097;
    wireless->realId = 4200;
    wireless->interfaceKind = DeviceInterfaceKind::bluetooth;
    wireless->name = "Wireless trackball";
    EXPECT_EQ(manager.getDevices(), json::parse(R"({"devices":[
        {"id":4097,"realId":"4097,4200","interface":"usb,bluetooth","name":"Wireless trackball","version":256,
         "present":true},
        {"id":8000,"realId":"","interface":"","name":"","version":0,"present":false}]})"));
}

TEST_F(DeviceManagerBaseTest, CapabilitiesAreThoseTheDriverToldOfThePresentTrackball) {
    present(model, "*")->capabilities = 0x0300 | 12;
    EXPECT_EQ(manager.getDeviceCapabilities(model), json::parse(R"({"buttons":12,"wheel":true,"pan":true})"));
    EXPECT_EQ(manager.getDeviceCapabilities(8000), json::parse(R"({"buttons":0,"wheel":false,"pan":false})"))
        << "none present: not known";
}

TEST_F(DeviceManagerBaseTest, AppsAreListedAndCreatedFromBodies) {
    EXPECT_EQ(manager.getApps(model), json::parse(R"({"apps":[{"*":"*"},{"/usr/bin/editor":"Editor"}]})"));
    EXPECT_EQ(manager.getApps(4098), json::parse(R"({"apps":[]})"));
    manager.createApp(model, {{"identifier", "/Opt/Viewer"}, {"name", "Viewer"}});
    EXPECT_EQ(settings().appName(model, "/opt/viewer"), "Viewer");
    EXPECT_THROW(manager.createApp(model, {{"identifier", "/opt/other"}}), json::out_of_range);
    EXPECT_EQ(test::errorText([&] {
                  manager.createApp(4098, {{"identifier", "/x"}, {"name", "X"}});
              }),
              "Device does not exist");
}

TEST_F(DeviceManagerBaseTest, DeletingAProfileMovesItsDevicesToTheGlobalOne) {
    auto onEditor = present(model, editor);
    auto onGlobal = present(model, "*");
    EXPECT_EQ(test::errorText([&] {
                  manager.deleteApp(model, {{"identifier", "*"}});
              }),
              "Global app profile cannot be deleted");
    EXPECT_FALSE(saved());

    manager.deleteApp(model, {{"identifier", "/USR/BIN/EDITOR"}});
    EXPECT_EQ(settings().appIdentifiers(model), std::vector<std::string>{"*"});
    EXPECT_EQ(onEditor->config, &config("*"));
    EXPECT_EQ(onEditor->setConfigCalls, 1);
    EXPECT_EQ(onGlobal->setConfigCalls, 0);
    EXPECT_TRUE(saved());
    EXPECT_EQ(test::errorText([&] {
                  manager.deleteApp(model, {{"identifier", editor}});
              }),
              "Application profile does not exist");
}

TEST_F(DeviceManagerBaseTest, DeletingAProfileMovesEveryDeviceBeforeItGoesAlsoWhenOneFails) {
    auto failing = present(model, editor);
    auto other = present(model, editor);
    failing->applyFailure = "Error setting vert inertial scroll status";
    EXPECT_EQ(test::errorText([&] {
                  manager.deleteApp(model, {{"identifier", editor}});
              }),
              "Error setting vert inertial scroll status");
    EXPECT_EQ(settings().appIdentifiers(model), std::vector<std::string>{"*"});
    EXPECT_EQ(failing->config, &config("*"));
    EXPECT_EQ(other->config, &config("*")) << "no device is left on the erased profile";
    EXPECT_TRUE(saved());
}

TEST_F(DeviceManagerBaseTest, SetSettingsMovesEveryDeviceAndSavesAlsoWhenOneCannotApply) {
    auto failing = present(model, editor);
    auto onEditor = present(model, editor);
    auto onGlobal = present(model, "*");
    failing->applyFailure = "Error setting vert inertial scroll status";
    auto body = settings().toJson();
    body["devices"][0][1][editor]["config"]["speed"] = 7;

    EXPECT_EQ(test::errorText([&] { manager.setSettings(body); }),
              "Error setting vert inertial scroll status");
    // The devices after the failing one were re-pointed too; none reads the freed settings.
    EXPECT_EQ(failing->config, &config(editor));
    EXPECT_EQ(onEditor->config, &config(editor));
    EXPECT_EQ(onEditor->config->speed, 7);
    EXPECT_EQ(onGlobal->config, &config("*"));
    EXPECT_TRUE(capture.contains(
        LogLevel::error,
        "Error applying settings to device 4097, reason: Error setting vert inertial scroll status"));
    ASSERT_TRUE(saved()) << "the settings in use are the saved ones";
    EXPECT_EQ(json::parse(test::readFile(temp / "ObxSettings.json")), settings().toJson());
}

TEST_F(DeviceManagerBaseTest, SetSettingsKeepsEachDeviceOnItsProfileByIdentifier) {
    settings().devices.at(model).at(editor).name = "Text editor";
    settings().createApp(model, "Viewer", "/usr/bin/viewer");
    auto onEditor = present(model, editor);
    auto onViewer = present(model, "/usr/bin/viewer");
    auto onGlobal = present(model, "*");
    auto unknownModel = std::make_shared<ObservingDevice>(manager);
    unknownModel->id = 9000;
    manager.devices().push_back(unknownModel);
    forgetSaves();

    auto body = settings().toJson();
    body["devices"][0][1].erase("/usr/bin/viewer");
    body["devices"][0][1][editor]["config"]["speed"] = 7;
    body["trayIcon"] = false;
    manager.setSettings(body);

    EXPECT_EQ(onEditor->config, &config(editor));
    EXPECT_EQ(onEditor->config->speed, 7);
    EXPECT_EQ(onViewer->config, &config("*")) << "a removed profile falls back to the global one";
    EXPECT_EQ(onGlobal->config, &config("*"));
    EXPECT_EQ(unknownModel->config, &settings().devices.at(9000).at("*").config)
        << "entries for present devices";
    for (auto& device : {onEditor, onViewer, onGlobal, unknownModel}) {
        EXPECT_EQ(device->setConfigCalls, 1) << "forced, even when unchanged";
    }
    EXPECT_FALSE(manager.getTrayIcon());
    ASSERT_TRUE(saved());
    EXPECT_EQ(json::parse(test::readFile(temp / "ObxSettings.json")), settings().toJson());
}

TEST_F(DeviceManagerBaseTest, RefusedSettingsBodyChangesNothing) {
    auto onEditor = present(model, editor);
    const auto* before = manager.settings();
    auto body = settings().toJson();
    body["platform"] = "linux";
    EXPECT_EQ(test::errorText([&] { manager.setSettings(body); }), "Platform mismatch");

    // No profile for the device and no global one to fall back to.
    body = settings().toJson();
    body["devices"][0][1].erase("*");
    body["devices"][0][1].erase(editor);
    EXPECT_EQ(test::errorText([&] { manager.setSettings(body); }),
              "Matching config for give process/device name not found!");

    // A refused field of a new action form refuses the import; an older entry that cannot be built does not.
    body = settings().toJson();
    body["devices"][0][1][editor]["config"]["commands"].push_back(
        json::array({0x20, {{"command", "bogus"}}}));
    body["devices"][0][1][editor]["config"]["commands"].push_back(
        json::array({0x40, {{"command", "sequence"}, {"steps", {{{"type", "pause"}, {"ms", 6000}}}}}}));
    EXPECT_EQ(test::errorText([&] { manager.setSettings(body); }),
              "Button 0x40: Sequence step 1 has \"ms\" 6000, not a whole number from 1 to 5000");

    EXPECT_THROW(manager.setSettings(json::array()), json::type_error);
    EXPECT_EQ(manager.settings(), before);
    EXPECT_EQ(onEditor->config, &config(editor));
    EXPECT_EQ(onEditor->setConfigCalls, 0);
    EXPECT_FALSE(saved());
}

TEST_F(DeviceManagerBaseTest, TheRevisionCountsEveryChangeOfTheSettingsAndNothingElse) {
    const AppId global("*");
    const json newApp = {{"identifier", "/bin/a"}, {"name", "A"}};
    int step = 0;
    // The changes an operation counts, whether it returns or throws.
    auto counts = [&](std::uint64_t changes, const std::function<void()>& operation) {
        const auto before = manager.settingsRevision();
        (void)test::errorText(operation);
        EXPECT_EQ(manager.settingsRevision(), before + changes) << "step " << ++step;
    };
    counts(1, [&] { manager.setPointerConfig(global, model, {{"speed", 11}}); });
    counts(0, [&] { manager.setPointerConfig(global, model, {{"speed", 11}}); });
    counts(0, [&] { manager.setPointerConfig(global, model, {{"speed", "x"}}); });
    counts(1, [&] { manager.setScrollWheelConfig(global, model, {{"invert", true}}); });
    counts(1, [&] { manager.setButtonAction(global, model, 0, {{"16", {{"command", "none"}}}, {"32", 1}}); });
    counts(1, [&] { manager.setSnippets(global, model, {{"snippets", {{{"content", "hi"}}}}}); });
    counts(0, [&] { manager.setSnippets(global, model, {{"snippets", 1}}); });
    counts(1, [&] { manager.renameApp(AppId(editor), model, {{"name", "Ed"}}); });
    counts(0, [&] { manager.setGeneralConfig({{"trayIcon", true}}); });
    counts(1, [&] { manager.setGeneralConfig({{"trayIcon", false}}); });
    counts(1, [&] { manager.createApp(model, newApp); });
    counts(0, [&] { manager.createApp(model, newApp); });
    counts(1, [&] { manager.deleteApp(model, newApp); });
    counts(1, [&] { manager.setSettings(manager.getSettings()); });
}

TEST_F(DeviceManagerBaseTest, SnippetsOfOneProfileAreReplacedWholeOrNotAtAll) {
    const AppId profile(editor);
    const json longest = {{"content", std::string(65536, 'a')}, {"label", std::string(1024, 'b')}};
    manager.setSnippets(profile, model, {{"snippets", {longest, {{"content", "b"}}}}});
    const std::vector<std::pair<json, std::string>> refused = {
        {{{"snippets", json::array_t(11, longest)}}, "\"snippets\" must be a list of at most 10 snippets"},
        {{{"snippets", {longest, {{"label", "L"}}}}}, "Snippet 2 has no \"content\""},
        {{{"snippets", {{{"content", "b"}, {"x", 1}}}}}, "Snippet 1 has the unknown member \"x\""},
        {{{"snippets", {{{"content", std::string(65537, 'a')}}}}},
         "Snippet 1: \"content\" must be text of at most 65536 bytes"},
    };
    for (const auto& [body, reason] : refused) {
        EXPECT_EQ(test::errorText([&] { manager.setSnippets(profile, model, body); }), reason);
    }
    EXPECT_EQ(config(editor).snippets()[1], (Snippet{"b", ""})) << "nothing of a refused body";
    manager.setSnippets(profile, model, {{"snippets", {{{"content", "c"}}}}});
    EXPECT_EQ(config(editor).snippets()[1], Snippet{}) << "the slots past the list are emptied";
    EXPECT_EQ(config(globalProfileId).snippets()[0], Snippet{}) << "the global profile's stay";
}

TEST_F(DeviceManagerBaseTest, ANameIsOneToOneHundredTwentyEightCharactersWithoutControls) {
    auto rename = [&](const json& name) {
        return test::errorText([&] { manager.renameApp(AppId(editor), model, {{"name", name}}); });
    };
    for (const auto& name : {std::string(), std::string(129, 'e'), std::string("a\tb"), std::string("a\x7f"),
                             std::string("a\xc2\x85")}) {
        EXPECT_EQ(rename(name), "\"name\" must be text of 1 to 128 characters without control characters");
    }
    EXPECT_EQ(rename(42), rename(""));
    EXPECT_EQ(rename(std::string(128, 'e')), "(no error)");
    EXPECT_EQ(rename("\xc3\xa9" + std::string(127, 'e')), "(no error)");
    EXPECT_EQ(settings().appName(model, editor), "\xc3\xa9" + std::string(127, 'e'));
}

TEST_F(DeviceManagerBaseTest, ANewProfileIsAWholeCopyOfTheGlobalOneOnlyWhenAskedFor) {
    auto& global = config(globalProfileId);
    global.setButtonAction(0x3, {{"command", "keystroke"}, {"keyCode", 65}});
    global.setSnippet("text", "T", 0);
    manager.createApp(model, {{"identifier", "/bin/Copy"}, {"name", "C"}, {"from", "global"}});
    manager.createApp(model, {{"identifier", "/bin/plain"}, {"name", "P"}, {"from", "default"}});
    EXPECT_EQ(config("/bin/copy").toJson(), global.toJson());
    EXPECT_EQ(config("/bin/copy").chordMask(), 0x3u);
    EXPECT_EQ(config("/bin/plain").toJson(), global.newProfileConfig().toJson());
    for (const auto& from : {json("Global"), json(nullptr), json(1)}) {
        EXPECT_EQ(test::errorText([&] {
                      manager.createApp(model, {{"identifier", "/b"}, {"name", "B"}, {"from", from}});
                  }),
                  "\"from\" must be \"default\" or \"global\"");
    }
    EXPECT_FALSE(settings().devices.at(model).contains("/b"));
}

} // namespace
} // namespace obx
