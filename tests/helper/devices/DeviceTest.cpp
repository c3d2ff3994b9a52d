#include "devices/Device.h"

#include "CoreDriverChannel.h"
#include "base/LogCapture.h"
#include "base/MsgWFMOHandler.h"
#include "devices/ButtonMapRecord.h"
#include "driver/hid/TestDescriptors.h"
#include "settings/DeviceConfig.h"
#include "support/ErrorText.h"
#include "support/RecordingPlatformServices.h"
#include "support/ScriptedWaitPrimitive.h"

#include <array>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;
using test::PlatformCall;
using ::testing::ElementsAre;

// Report of the five-button test trackball: no report id, buttons, x, y, wheel, pan.
std::vector<std::uint8_t> buttonsReport(std::uint8_t buttons) {
    return {0x00, buttons, 0, 0, 0, 0};
}

// A configuration with exactly the given button actions.
void onlyActions(DeviceConfig& config, const std::map<std::uint32_t, json>& actions) {
    for (auto [mask, action] : config.actions()) {
        if (!actions.contains(mask)) {
            config.setButtonAction(mask, {{"command", "none"}});
        }
    }
    for (auto& [mask, action] : actions) {
        config.setButtonAction(mask, action);
    }
}

const json leftClick = {{"command", "singleClick"}, {"button", 1}};
const json ctrlRightClick = {{"command", "singleClick"}, {"button", 2}, {"modifiers", "ctrl"}};
const json scrollLeftThree = {{"command", "scroll"}, {"direction", "left"}, {"lines", 3}};

class DeviceTest : public ::testing::Test {
protected:
    explicit DeviceTest(std::uint16_t productId = 0x1234) : driver(test::kFiveButtonTrackball, productId) {
        driver.start();
    }

    std::unique_ptr<Device> makeDevice() {
        auto owned = std::make_unique<test::CoreDriverChannel>(driver, *waits);
        channel = owned.get();
        return std::make_unique<Device>(worker, "core-01", std::move(owned));
    }
    // Runs the worker on this thread over the steps scripted so far.
    void runWorker() { worker.run(); }
    void press(std::uint8_t buttons) {
        waits->thenDo([this, buttons] { driver.hid.deliver(buttonsReport(buttons)); });
    }
    // Passes of the worker in which the script does nothing.
    void passes(int count) {
        for (int i = 0; i < count; ++i) {
            waits->thenDo([] {});
        }
    }
    std::vector<std::uint16_t> packetFlags() {
        std::vector<std::uint16_t> flags;
        for (auto& packet : driver.takePackets()) {
            flags.push_back(packet.buttonFlags);
        }
        return flags;
    }

    test::ScopedRecordingPlatform platform;
    LogCapture log;
    test::DriverHarness driver;
    test::ScriptedWaitPrimitive* waits = new test::ScriptedWaitPrimitive;
    MsgWFMOHandler worker{std::unique_ptr<IWaitPrimitive>(waits)};
    test::CoreDriverChannel* channel = nullptr;
    DeviceConfig config{nullptr};
};

TEST_F(DeviceTest, OpenIdentifiesTheTrackballRegistersAndQueuesOneRead) {
    auto device = makeDevice();
    device->open();
    EXPECT_EQ(device->getId(), 0x1234);
    EXPECT_EQ(device->getRealId(), 0x1234);
    EXPECT_EQ(device->getInterface(), DeviceInterfaceKind::usb);
    EXPECT_EQ(device->getName(), "Test Trackball");
    EXPECT_EQ(device->getFirmwareVersion(), 0x0107);
    EXPECT_EQ(device->getConfig(), nullptr);
    EXPECT_THAT(channel->codes,
                ElementsAre(IOCTL_OBX_GET_DRIVER_INFO, IOCTL_OBX_GET_DEVICE_INFO, IOCTL_OBX_REGISTER_HELPER));
    EXPECT_EQ(channel->readsQueued, 1);
    EXPECT_TRUE(log.contains(LogLevel::debug, "Driver Info - struct size: 8, version: 0x2020000"));
    EXPECT_TRUE(log.contains(LogLevel::info,
                             "device arrived: Test Trackball, id: 4660, realId: 4660, firmwareVersion: 107"));
    EXPECT_TRUE(platform->inputCalls().empty()) << "open pushes no configuration";
}

class AliasedDeviceTest : public DeviceTest {
protected:
    AliasedDeviceTest() : DeviceTest(0x2042) {}
};

TEST_F(AliasedDeviceTest, AnAliasedProductUsesTheWiredConfigurationId) {
    auto device = makeDevice();
    device->open();
    EXPECT_EQ(device->getId(), 0x1042);
    EXPECT_EQ(device->getRealId(), 0x2042);
    EXPECT_EQ(device->getInterface(), DeviceInterfaceKind::bluetooth);
}

TEST_F(DeviceTest, EachFailingStepOfTheOpenHasItsMessage) {
    const std::vector<std::pair<std::uint32_t, std::string>> steps = {
        {IOCTL_OBX_GET_DRIVER_INFO, "Error retrieving driver information"},
        {IOCTL_OBX_GET_DEVICE_INFO, "Error retrieving device information from the driver"},
        {IOCTL_OBX_REGISTER_HELPER, "Error register helper app with driver"},
    };
    for (auto& [code, message] : steps) {
        auto device = makeDevice();
        channel->failingCodes = {code};
        EXPECT_EQ(test::errorText([&] { device->open(); }), message);
        EXPECT_EQ(channel->readsQueued, 0);
        EXPECT_TRUE(worker.hasFreeWaitSlot());
    }
    auto refused = makeDevice();
    channel->refuseOpen = true;
    EXPECT_EQ(test::errorText([&] { refused->open(); }), "Error opening the device");
    auto noRead = makeDevice();
    channel->refuseReads = true;
    EXPECT_EQ(test::errorText([&] { noRead->open(); }), "Error queuing async read to the driver");
}

TEST_F(DeviceTest, ReleasingADeviceWhoseRegistrationFailedClosesItsHandle) {
    auto device = makeDevice();
    channel->failingCodes = {IOCTL_OBX_REGISTER_HELPER};
    EXPECT_THROW(device->open(), std::runtime_error);
    EXPECT_TRUE(channel->isOpen);
    const auto readEvent = channel->readHandle();
    device.reset();
    EXPECT_TRUE(waits->closed.contains(readEvent)) << "the channel, with its read event, is released";
}

TEST_F(DeviceTest, AFullWorkerRefusesTheReadCompletion) {
    struct Dummy {
        void fire() {}
    } dummy;
    for (int i = 0; i < 62; ++i) {
        worker.addWaitHandler(5000 + i, &dummy, &Dummy::fire);
    }
    auto device = makeDevice();
    EXPECT_EQ(test::errorText([&] { device->open(); }),
              "Error binding overlapped io with completion handler");
    EXPECT_EQ(channel->readsQueued, 1) << "the read stays pending until the handle is closed";
}

TEST_F(DeviceTest, SetConfigPushesPointerScrollAndButtonsOnlyForAnotherConfigOrWhenForced) {
    auto device = makeDevice();
    device->open();
    platform->clear();
    config.speed = 70;
    config.acceleration = true;
    config.accelerationRate = 40;
    config.scrollLines = 4;
    config.scrollInvert = true;
    EXPECT_FALSE(device->setConfig(&config, false)) << "the driver takes the map with 0 bytes";
    const PlatformCall applied{"applyPointerSettings", json::array({70, 40, 4})};
    EXPECT_THAT(platform->calls(), ElementsAre(applied, applied));

    channel->codes.clear();
    platform->clear();
    EXPECT_FALSE(device->setConfig(&config, false));
    EXPECT_TRUE(channel->codes.empty());
    EXPECT_TRUE(platform->calls().empty());
    EXPECT_TRUE(log.contains(LogLevel::debug, "Device::setConfig - same config as before, not setting"));

    config.acceleration = false;
    device->setConfig(&config, true);
    EXPECT_THAT(channel->codes, ElementsAre(IOCTL_OBX_SET_SCROLL_PARAMS, IOCTL_OBX_SET_BUTTON_MAP));
    const PlatformCall withoutAcceleration{"applyPointerSettings", json::array({70, 0, 4})};
    EXPECT_THAT(platform->calls(), ElementsAre(withoutAcceleration, withoutAcceleration));
}

TEST_F(DeviceTest, TheScrollParametersReachTheDriver) {
    auto device = makeDevice();
    device->open();
    config.scrollInvert = true;
    config.inertialScroll = true;
    device->setConfig(&config, true);
    std::vector<std::uint8_t> params;
    ASSERT_EQ(driver.control(IOCTL_OBX_GET_SCROLL_PARAMS, {0}, 8, &params).status, OBX_STATUS_SUCCESS);
    EXPECT_THAT(params, ElementsAre(0, 1, 1, 0, 0, 0, 0, 0));
}

TEST_F(DeviceTest, AFailedScrollRequestFailsSetConfigAfterTheSwitch) {
    auto device = makeDevice();
    device->open();
    channel->failingCodes = {IOCTL_OBX_SET_SCROLL_PARAMS};
    EXPECT_EQ(test::errorText([&] { device->setConfig(&config, true); }),
              "Error setting vert inertial scroll status");
    EXPECT_EQ(device->getConfig(), &config);
}

TEST(ButtonMapRecordTest, OnlyPlainClicksAndScrollStepsAreMapped) {
    test::ScopedRecordingPlatform platform;
    DeviceConfig config(nullptr);
    onlyActions(config, {{0x1, leftClick}, {0x2, ctrlRightClick}, {0x40000000, scrollLeftThree}});
    ButtonMapBytes map;
    map.fill(0xEE);
    buildButtonMap(config, map);
    std::vector<std::uint8_t> head(map.begin(), map.begin() + 12 + 2 * 9);
    EXPECT_THAT(head, ElementsAre(44, 1, 0, 0, /*chords*/ 0, 0, 0, 0, /*count*/ 2, 0, 0, 0,
                                  /*1*/ 1, 0, 0, 0, OBX_MAP_BUTTONS, 1, 0, 0, 0,
                                  /*2*/ 0, 0, 0, 0x40, OBX_MAP_ACTION, 3, 3, 0, 0));
    EXPECT_TRUE(std::all_of(map.begin() + 30, map.end(), [](auto b) { return b == 0; }));
}

TEST(ButtonMapRecordTest, WhileLearningOnlyThePanKeepsItsEntriesAndNoChordIsHeldBack) {
    test::ScopedRecordingPlatform platform;
    DeviceConfig config(nullptr);
    onlyActions(config, {{0x1, leftClick}, {0x3, ctrlRightClick}, {0x40000000, scrollLeftThree}});
    ASSERT_EQ(config.chordMask(), 0x3u);
    ButtonMapBytes map;
    buildLearningButtonMap(config, map);
    std::vector<std::uint8_t> head(map.begin(), map.begin() + 12 + 9);
    EXPECT_THAT(head, ElementsAre(44, 1, 0, 0, /*chords*/ 0, 0, 0, 0, /*count*/ 1, 0, 0, 0,
                                  /*1*/ 0, 0, 0, 0x40, OBX_MAP_ACTION, 3, 3, 0, 0));
}

TEST(ButtonMapRecordTest, TheChordMaskAndAtMostThirtyTwoEntriesInAscendingOrder) {
    test::ScopedRecordingPlatform platform;
    DeviceConfig config(nullptr);
    std::map<std::uint32_t, json> actions;
    for (std::uint32_t mask = 1; mask <= 40; ++mask) {
        actions[mask] = {{"command", "scroll"}, {"direction", "up"}, {"lines", 1}};
    }
    onlyActions(config, actions);
    ButtonMapBytes map;
    buildButtonMap(config, map);
    EXPECT_EQ(map[offsetof(OBX_BUTTON_MAP, Count)], 32);
    EXPECT_EQ(map[offsetof(OBX_BUTTON_MAP, ChordMask)], config.chordMask() & 0xFF);
    EXPECT_NE(config.chordMask(), 0u);
    const auto last = offsetof(OBX_BUTTON_MAP, Entries) + 31 * sizeof(OBX_BUTTON_MAP_ENTRY);
    EXPECT_EQ(map[last], 32) << "the 32 lowest masks";
    EXPECT_EQ(map[last + offsetof(OBX_BUTTON_MAP_ENTRY, Kind)], OBX_MAP_ACTION);
}

TEST_F(DeviceTest, TheDriverDoesMappedButtonsAndHandsTheOthersToTheDispatch) {
    onlyActions(config, {{0x1, leftClick}, {0x2, ctrlRightClick}, {0x40000000, scrollLeftThree}});
    auto device = makeDevice();
    device->open();
    device->setConfig(&config, true);
    platform->clear();

    press(0x01);
    press(0x00);
    press(0x02);
    press(0x00);
    runWorker();
    EXPECT_THAT(packetFlags(), ElementsAre(0x0001, 0x0002)) << "button 1 is a left click of the driver";
    EXPECT_THAT(platform->inputCalls(),
                ElementsAre(PlatformCall{"sendKeystroke", json::array({0x04, 0, true, true})},
                            PlatformCall{"sendMouseButton", json::array({2, true})},
                            PlatformCall{"sendMouseButton", json::array({2, false})},
                            PlatformCall{"sendKeystroke", json::array({0x04, 0, false, true})}))
        << ::testing::PrintToString(platform->inputCalls());
    EXPECT_EQ(channel->readsQueued, 3) << "one read at a time, queued again after each event";
}

struct RecordingEventSink : DeviceEventSink {
    void buttonEvent(std::uint16_t device, std::uint32_t pressed, std::uint32_t released) override {
        buttons.push_back({device, pressed, released});
    }
    void devicesChanged() override {}
    void learningChanged(std::uint16_t, bool) override {}
    std::vector<std::array<std::uint32_t, 3>> buttons;
};

TEST_F(DeviceTest, EveryEventHandedOverIsReportedWithTheConfigurationIdBesidesItsAction) {
    onlyActions(config, {{0x1, leftClick}, {0x4, ctrlRightClick}});
    RecordingEventSink sink;
    auto device = makeDevice();
    device->reportEventsTo(&sink);
    device->open();
    device->setConfig(&config, true);
    platform->clear();
    press(0x01);
    press(0x00);
    press(0x04);
    press(0x00);
    runWorker();
    const std::uint32_t id = device->getId();
    EXPECT_THAT(sink.buttons, ElementsAre(std::array{id, 4u, 0u}, std::array{id, 0u, 4u}))
        << "button 1 stays in the driver";
    EXPECT_EQ(platform->inputCalls().size(), 4u) << "the action still runs";
}

TEST_F(DeviceTest, AnEventBeforeAnyConfigurationIsLoggedAndTheReadQueuedAgain) {
    auto device = makeDevice();
    device->open();
    ButtonMapBytes nothingMapped;
    buildButtonMap(config, nothingMapped);
    nothingMapped[offsetof(OBX_BUTTON_MAP, Count)] = 0;
    ASSERT_FALSE(device->sendToDriver(IOCTL_OBX_SET_BUTTON_MAP, nothingMapped)) << "taken with 0 bytes";
    press(0x04);
    runWorker();
    EXPECT_TRUE(log.contains(LogLevel::debug, "Device core-01 no config defined!"));
    EXPECT_EQ(channel->readsQueued, 2);
}

TEST_F(DeviceTest, ARemovedTrackballEndsTheReadAndTheDeviceGoesSilent) {
    auto device = makeDevice();
    device->open();
    onlyActions(config, {});
    device->setConfig(&config, true);
    platform->clear();
    waits->thenDo([this] { driver.device->controlDevice().purgeReads(); });
    press(0x04);
    runWorker();
    EXPECT_EQ(channel->readsQueued, 1);
    EXPECT_TRUE(platform->inputCalls().empty());
}

TEST_F(DeviceTest, ReleaseWithdrawsTheReadSoALaterEventReachesTheRemainingSession) {
    onlyActions(config, {{0x4, ctrlRightClick}});
    auto first = makeDevice();
    first->open();
    const auto firstRead = channel->readHandle();
    auto second = makeDevice();
    second->open();
    second->setConfig(&config, true);
    // The older read would take the event if it still waited in the driver.
    first.reset();
    platform->clear();
    press(0x04);
    press(0x00);
    runWorker();
    ASSERT_FALSE(waits->waited.empty());
    EXPECT_THAT(waits->waited.front(), ::testing::Not(::testing::Contains(firstRead)));
    EXPECT_EQ(platform->inputCalls().size(), 4u) << "press and release reach the second session";
}

} // namespace
} // namespace obx
