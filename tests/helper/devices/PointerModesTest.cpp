#include "CoreDriverChannel.h"
#include "base/LogCapture.h"
#include "base/MsgWFMOHandler.h"
#include "devices/Device.h"
#include "devices/ForegroundProfiles.h"
#include "devices/ModifierModes.h"
#include "driver/hid/TestDescriptors.h"
#include "settings/Settings.h"
#include "support/FakeDesktopQueries.h"
#include "support/RecordingPlatformServices.h"
#include "support/ScriptedWaitPrimitive.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

constexpr std::uint32_t shift = 0x01;
constexpr std::uint32_t ctrl = 0x04;
constexpr std::uint32_t win = 0x40;

// Trackballs on the driver core, with the modes read back from their drivers.
class PointerModesTest : public ::testing::Test {
protected:
    PointerModesTest() {
        for (auto* driver : {&firstDriver, &secondDriver}) {
            driver->start();
            auto channel = std::make_unique<test::CoreDriverChannel>(*driver, *waits);
            channels.push_back(channel.get());
            auto device = std::make_shared<Device>(worker, "core", std::move(channel));
            device->open();
            devices.push_back(device);
        }
    }

    void configure(std::size_t index, DeviceConfig& config, std::uint32_t snap, std::uint32_t slow) {
        config.snapModifiers = snap;
        config.slowModifiers = slow;
        devices[index]->setConfig(&config, true);
    }
    void keys(std::uint32_t held) {
        desktop->press(held);
        modes.poll(devices);
    }
    static bool mode(test::DriverHarness& driver, std::uint32_t code) {
        std::vector<std::uint8_t> value;
        EXPECT_EQ(driver.control(code, {}, 4, &value).status, OBX_STATUS_SUCCESS);
        return value.at(0) != 0;
    }
    bool slow(test::DriverHarness& driver) { return mode(driver, IOCTL_OBX_GET_SLOW_POINTER); }
    bool axis(test::DriverHarness& driver) { return mode(driver, IOCTL_OBX_GET_SINGLE_AXIS); }

    test::ScopedRecordingPlatform platform;
    LogCapture log;
    test::DriverHarness firstDriver{test::kFiveButtonTrackball, 0x1001};
    test::DriverHarness secondDriver{test::kFiveButtonTrackball, 0x1002};
    test::ScriptedWaitPrimitive* waits = new test::ScriptedWaitPrimitive;
    MsgWFMOHandler worker{std::unique_ptr<IWaitPrimitive>(waits)};
    std::vector<std::shared_ptr<IObxDevice>> devices;
    std::vector<test::CoreDriverChannel*> channels;
    std::shared_ptr<test::DesktopState> desktop = std::make_shared<test::DesktopState>();
    test::FakeDesktopQueries queries{desktop};
    ModifierModes modes{queries};
    DeviceConfig firstConfig{nullptr};
    DeviceConfig secondConfig{nullptr};
};

TEST_F(PointerModesTest, SlowPointerHeldByItsKeyStaysWhileAnyOfItsKeysIsHeld) {
    configure(0, firstConfig, 0, ctrl);
    keys(ctrl);
    EXPECT_TRUE(slow(firstDriver));
    EXPECT_TRUE(log.contains(LogLevel::debug, "Modifier key status changed: 0x4"));
    EXPECT_TRUE(log.contains(LogLevel::debug, "Enable slow pointer"));
    keys(ctrl | shift);
    EXPECT_TRUE(slow(firstDriver));
    keys(shift);
    EXPECT_FALSE(slow(firstDriver));
    EXPECT_TRUE(log.contains(LogLevel::debug, "Disable slow pointer"));
}

TEST_F(PointerModesTest, AModeIsSwitchedOnOnlyWhenTheKeysBecomeExactlyItsMask) {
    configure(0, firstConfig, 0, ctrl);
    keys(shift);
    keys(shift | ctrl);
    EXPECT_FALSE(slow(firstDriver));
    configure(1, secondConfig, ctrl | win, 0);
    keys(ctrl | win);
    EXPECT_FALSE(axis(secondDriver)) << "the Windows key is not watched, even when a desktop reports it";
    configure(1, secondConfig, ctrl, 0);
    keys(0);
    keys(ctrl | win);
    EXPECT_TRUE(axis(secondDriver)) << "held with the Windows key, the keys are exactly ctrl";
}

TEST_F(PointerModesTest, TwoMasksPressedTogetherSwitchBothThroughTheCombinedRule) {
    configure(0, firstConfig, shift, ctrl);
    keys(shift | ctrl);
    EXPECT_TRUE(axis(firstDriver));
    EXPECT_TRUE(slow(firstDriver));
    EXPECT_TRUE(log.contains(LogLevel::info, "Enabling locked axis pointer movement"));
    EXPECT_TRUE(log.contains(LogLevel::info, "Enabling slow pointer"));
}

TEST_F(PointerModesTest, PressedOneAfterTheOtherTheSecondComesThroughTheCombinedRule) {
    configure(0, firstConfig, shift, ctrl);
    keys(shift);
    EXPECT_TRUE(axis(firstDriver));
    EXPECT_FALSE(slow(firstDriver));
    keys(shift | ctrl);
    EXPECT_TRUE(slow(firstDriver));
    EXPECT_FALSE(log.contains(LogLevel::info, "Enabling locked axis pointer movement"));
}

TEST_F(PointerModesTest, AUnionEqualToOneMaskIsNoCombination) {
    configure(0, firstConfig, ctrl, ctrl | shift);
    keys(ctrl | shift);
    EXPECT_TRUE(slow(firstDriver));
    EXPECT_FALSE(axis(firstDriver)) << "the keys are not exactly the locked-axis mask";
    EXPECT_FALSE(log.contains(LogLevel::info, "Enabling locked axis pointer movement"));
}

TEST_F(PointerModesTest, EachTrackballFollowsItsOwnConfigurationAndUnconfiguredOnesAreLeftAlone) {
    configure(0, firstConfig, 0, ctrl);
    keys(ctrl);
    EXPECT_TRUE(slow(firstDriver));
    EXPECT_FALSE(slow(secondDriver)) << "no configuration yet";
    configure(1, secondConfig, 0, shift);
    keys(shift);
    EXPECT_FALSE(slow(firstDriver));
    EXPECT_TRUE(slow(secondDriver));
}

TEST_F(PointerModesTest, ARefusingDriverSkipsOnlyItsTrackball) {
    configure(0, firstConfig, 0, ctrl);
    configure(1, secondConfig, 0, ctrl);
    channels[0]->failingCodes = {IOCTL_OBX_GET_SINGLE_AXIS};
    keys(ctrl);
    EXPECT_FALSE(slow(firstDriver));
    EXPECT_TRUE(slow(secondDriver));
    channels[0]->codes.clear();
    keys(ctrl);
    EXPECT_TRUE(channels[0]->codes.empty()) << "an unchanged state asks no driver";
}

class ForegroundProfilesTest : public PointerModesTest {
protected:
    ForegroundProfilesTest() {
        // Creating a profile saves the settings.
        platform->folder = folder.path().string();
        settings.ensureDevice(0x1001);
        settings.createApp(0x1001, "Editor", "/usr/bin/Editor");
        devices[0]->setConfig(&settings.findConfig(std::nullopt, 0x1001, false), true);
    }
    DeviceConfig* editorConfig() { return &settings.findConfig("/usr/bin/editor", 0x1001, false); }

    test::TempFolder folder;
    Settings settings;
    ForegroundProfiles profiles{queries};
};

TEST_F(ForegroundProfilesTest, AChangedForegroundSwitchesByTheLowerCasedPath) {
    desktop->set(7, "/USR/bin/EDITOR");
    profiles.check(settings, devices);
    EXPECT_EQ(devices[0]->getConfig(), editorConfig());
    EXPECT_TRUE(log.contains(LogLevel::debug, "Foreground window has changed: /usr/bin/editor"));
    EXPECT_TRUE(log.contains(LogLevel::debug, "App config changed to: /usr/bin/editor"));
    EXPECT_EQ(devices[1]->getConfig(), nullptr) << "no settings entry: skipped";
    EXPECT_EQ(profileConfig(settings, 0x1001, "/Usr/Bin/Editor").id, editorConfig()->id);
    EXPECT_EQ(&profileConfig(settings, 0x1001, "/Usr/Bin/Editor"), editorConfig());
}

TEST_F(ForegroundProfilesTest, AnotherWindowOfTheSameProgramPushesNothing) {
    desktop->set(7, "/usr/bin/editor");
    profiles.check(settings, devices);
    platform->clear();
    log.clear();
    desktop->set(8, "/usr/bin/editor");
    profiles.check(settings, devices);
    EXPECT_TRUE(log.contains(LogLevel::debug, "App config changed to: /usr/bin/editor"));
    EXPECT_TRUE(platform->inputCalls().empty());
}

TEST_F(ForegroundProfilesTest, AnUnreadablePathIsAskedAgainUntilTheWindowChanges) {
    desktop->set(7, "");
    profiles.check(settings, devices);
    profiles.check(settings, devices);
    EXPECT_EQ(desktop->pathQueries, 2);
    desktop->set(7, "/usr/bin/editor");
    profiles.check(settings, devices);
    EXPECT_EQ(devices[0]->getConfig(), editorConfig());
    profiles.check(settings, devices);
    EXPECT_EQ(desktop->pathQueries, 3) << "the same window is handled once";
}

} // namespace
} // namespace obx
