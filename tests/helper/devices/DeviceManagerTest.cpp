#include "devices/DeviceManager.h"

#include "CoreDriverChannel.h"
#include "actions/SequencePlayer.h"
#include "base/LogCapture.h"
#include "driver/hid/TestDescriptors.h"
#include "settings/Settings.h"
#include "support/ErrorText.h"
#include "support/FakeDesktopQueries.h"
#include "support/RecordingPlatformServices.h"
#include "support/ScriptedWaitPrimitive.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <thread>

namespace obx {
namespace {

// Trackballs on the driver core, one per path; no notices of their own.
class CoreDeviceNotices final : public IDeviceNotices {
public:
    CoreDeviceNotices(std::map<std::string, test::DriverHarness*> drivers, IWaitPrimitive& waits,
                      std::set<std::uint32_t> failingCodes)
        : drivers_(std::move(drivers)), waits_(waits), failingCodes_(std::move(failingCodes)) {}

    std::vector<std::string> presentDevices() override {
        std::vector<std::string> paths;
        for (auto& [path, driver] : drivers_) {
            paths.push_back(path);
        }
        return paths;
    }
    std::unique_ptr<IDriverChannel> channelFor(const std::string& path) override {
        auto channel = std::make_unique<test::CoreDriverChannel>(*drivers_.at(path), waits_);
        channel->failingCodes = failingCodes_;
        return channel;
    }
    void startNotices(MsgWFMOHandler&) override {}
    void stopNotices() override {}

private:
    std::map<std::string, test::DriverHarness*> drivers_;
    IWaitPrimitive& waits_;
    std::set<std::uint32_t> failingCodes_;
};

// The manager's start-up and worker steps run on the test thread.
class DeviceManagerTest : public ::testing::Test {
protected:
    DeviceManagerTest() { platform->folder = folder.path().string(); }

    void startManager(std::set<std::uint32_t> failingCodes = {}) {
        makeManager(std::move(failingCodes));
        manager->onThreadStart();
    }
    // The worker's start-up and end are left to run().
    void makeManager(std::set<std::uint32_t> failingCodes = {}) {
        firstDriver.start();
        secondDriver.start();
        auto* waits = new test::ScriptedWaitPrimitive;
        scripted = waits;
        manager = std::make_unique<DeviceManager>(
            DeviceLayerPlatform{std::unique_ptr<IWaitPrimitive>(waits),
                                std::make_unique<CoreDeviceNotices>(
                                    std::map<std::string, test::DriverHarness*>{{"core-01", &firstDriver},
                                                                                {"core-02", &secondDriver}},
                                    *waits, std::move(failingCodes)),
                                std::make_unique<test::FakeDesktopQueries>(desktop),
                                {}});
        manager->reportEventsTo(&events);
    }
    Settings& settings() { return *manager->settings(); }
    void writeSettings(const Settings& content) {
        test::writeFile(folder / "ObxSettings.json", content.toJson().dump(2));
    }

    test::ScopedRecordingPlatform platform;
    LogCapture log;
    test::TempFolder folder;
    test::DriverHarness firstDriver{test::kFiveButtonTrackball, 0x1001};
    test::DriverHarness secondDriver{test::kFiveButtonTrackball, 0x1002};
    std::shared_ptr<test::DesktopState> desktop = std::make_shared<test::DesktopState>();
    struct CountingEventSink : DeviceEventSink {
        void buttonEvent(std::uint16_t device, std::uint32_t pressed, std::uint32_t) override {
            buttons.push_back({device, pressed});
        }
        std::vector<std::pair<std::uint16_t, std::uint32_t>> buttons;
        void devicesChanged() override { ++changes; }
        void learningChanged(std::uint16_t device, bool learning) override {
            learningEvents.push_back({device, learning});
        }
        int changes = 0;
        std::vector<std::pair<std::uint16_t, bool>> learningEvents;
    } events;
    std::unique_ptr<DeviceManager> manager;
    test::ScriptedWaitPrimitive* scripted = nullptr; // owned by the manager
};

TEST_F(DeviceManagerTest, TrackballsPresentAtStartAreOpenedInOrderWithTheirEntriesSaved) {
    startManager();
    ASSERT_EQ(manager->devices().size(), 2u);
    EXPECT_EQ(manager->devices()[0]->getId(), 0x1001);
    EXPECT_EQ(manager->devices()[1]->getId(), 0x1002);
    EXPECT_EQ(settings().deviceIds(), (std::vector<std::uint16_t>{0x1001, 0x1002}));
    Settings saved;
    saved.fromJson(nlohmann::json::parse(test::readFile(folder / "ObxSettings.json")));
    EXPECT_EQ(saved.deviceIds(), (std::vector<std::uint16_t>{0x1001, 0x1002}));
}

TEST_F(DeviceManagerTest, ARefusedRegistrationLeavesTheTrackballOut) {
    startManager({IOCTL_OBX_REGISTER_HELPER});
    EXPECT_TRUE(manager->devices().empty());
    EXPECT_TRUE(log.contains(LogLevel::error,
                             "Error initializing Device, reason: Error register helper app with driver"));
    EXPECT_EQ(events.changes, 0) << "nothing arrived";
}

TEST_F(DeviceManagerTest, ArrivalChoosesTheProfileOfTheForegroundPathInAnyLetterCase) {
    Settings stored;
    stored.ensureDevice(0x1001);
    stored.createApp(0x1001, "Editor", "/usr/bin/editor");
    writeSettings(stored);
    desktop->set(3, "/usr/bin/EDITOR");
    startManager();
    EXPECT_EQ(manager->devices()[0]->getConfig(), &settings().findConfig("/usr/bin/editor", 0x1001, false));
}

TEST_F(DeviceManagerTest, ADepartureMatchesThePathInAnyLetterCase) {
    startManager();
    manager->dispatchMessage({deviceChangeMessage, deviceRemoveCompleteEvent, "CORE-01"});
    ASSERT_EQ(manager->devices().size(), 1u);
    EXPECT_EQ(manager->devices()[0]->getId(), 0x1002);
    EXPECT_TRUE(log.contains(LogLevel::info, "Device departure: CORE-01"));
    EXPECT_EQ(events.changes, 3) << "two arrivals and the departure";
    manager->dispatchMessage({deviceChangeMessage, deviceRemoveCompleteEvent, "core-09"});
    EXPECT_EQ(manager->devices().size(), 1u);
    EXPECT_EQ(events.changes, 3) << "nothing went";
}

TEST_F(DeviceManagerTest, AReloadWithoutADevicesEntryGivesItOneInTheNewSettings) {
    startManager();
    Settings onlyFirst;
    onlyFirst.ensureDevice(0x1001);
    onlyFirst.findConfig(std::nullopt, 0x1001, false).speed = 12;
    writeSettings(onlyFirst);
    platform->clear();
    manager->dispatchMessage({reloadSettingsMessage, 0, {}});
    EXPECT_EQ(manager->devices()[0]->getConfig(), &settings().findConfig(std::nullopt, 0x1001, false));
    EXPECT_EQ(manager->devices()[0]->getConfig()->speed, 12);
    EXPECT_EQ(manager->devices()[1]->getConfig(), &settings().findConfig(std::nullopt, 0x1002, false))
        << "pointing into the settings in use, not the freed ones";
    EXPECT_EQ(platform->inputCalls().size(), 4u) << "both re-applied with force: pointer and scroll each";
}

TEST_F(DeviceManagerTest, AnUnreadableReloadLeavesSettingsAndConfigurationsAlone) {
    startManager();
    auto* before = manager->devices()[0]->getConfig();
    test::writeFile(folder / "ObxSettings.json", "{ not json");
    manager->reload();
    EXPECT_EQ(manager->devices()[0]->getConfig(), before);
    EXPECT_TRUE(log.contains(LogLevel::error, "Unknown error while reloading the settings & initing device"));
    test::writeFile(folder / "ObxSettings.json", R"({"platform":"windows","devices":7})");
    manager->reload();
    EXPECT_EQ(manager->devices()[0]->getConfig(), before);
}

TEST_F(DeviceManagerTest, AFailingDesktopQueryIsLoggedAndTheTickGoesOn) {
    startManager();
    desktop->failing = true;
    manager->dispatchMessage({workerMessageTimer, DeviceManager::pollTimerId, {}});
    EXPECT_TRUE(
        log.contains(LogLevel::error, "Error checking the foreground application, reason: desktop gone"));
    EXPECT_TRUE(log.contains(LogLevel::error, "Error polling the modifier keys, reason: desktop gone"));
}

// A sequence on button 6 of the first trackball that holds a key across its pause.
class DeviceManagerSequenceTest : public DeviceManagerTest {
protected:
    // The worker's end, which these tests do not always reach, leaves the
    // process-wide player without the manager's timer.
    ~DeviceManagerSequenceTest() override { manager->onThreadExit(true); }

    void startWithSequence() {
        startManager();
        waits().timers.clear();
        trackball().getConfig()->setButtonAction(0x20, {{"command", "sequence"},
                                                        {"steps",
                                                         {{{"type", "keyDown"}, {"keyCode", 0x41}},
                                                          {{"type", "pause"}, {"ms", 200}},
                                                          {{"type", "keystroke"}, {"keyCode", 0x42}}}}});
        trackball().getConfig()->dispatchButtonEvent(trackball(), 0x20, 0);
        platform->clear();
    }
    IObxDevice& trackball() { return *manager->devices()[0]; }
    test::ScriptedWaitPrimitive& waits() { return *scripted; }
    // Without the pointer settings a configuration change applies.
    std::vector<test::PlatformCall> keystrokes() {
        auto calls = platform->inputCalls();
        std::erase_if(calls, [](const auto& call) { return call.operation != "sendKeystroke"; });
        return calls;
    }
    std::vector<test::PlatformCall> keysLetGo() {
        return {{"sendKeystroke", nlohmann::json::array({0, 0x41, false, false})}};
    }
};

TEST_F(DeviceManagerSequenceTest, APauseContinuesOnTheWorkersTimer) {
    startWithSequence();
    EXPECT_EQ(waits().timers, (std::map<std::uint32_t, std::chrono::milliseconds>{
                                  {DeviceManager::sequenceTimerId, std::chrono::milliseconds(200)}}));
    EXPECT_TRUE(platform->inputCalls().empty());
    manager->dispatchMessage({workerMessageTimer, DeviceManager::sequenceTimerId, {}});
    EXPECT_EQ(
        platform->inputCalls(),
        (std::vector<test::PlatformCall>{{"sendKeystroke", nlohmann::json::array({0, 0x42, true, false})},
                                         {"sendKeystroke", nlohmann::json::array({0, 0x42, false, false})},
                                         {"sendKeystroke", nlohmann::json::array({0, 0x41, false, false})}}));
    EXPECT_TRUE(waits().timers.empty());
}

TEST_F(DeviceManagerSequenceTest, AProfileSwitchCutsItShort) {
    startWithSequence();
    settings().createApp(0x1001, "Editor", "/usr/bin/editor");
    desktop->set(3, "/usr/bin/editor");
    manager->dispatchMessage({workerMessageTimer, DeviceManager::pollTimerId, {}});
    ASSERT_EQ(trackball().getConfig(), &settings().findConfig("/usr/bin/editor", 0x1001, false));
    EXPECT_EQ(keystrokes(), keysLetGo());
}

TEST_F(DeviceManagerSequenceTest, AnotherTrackballsProfileSwitchLeavesItPlaying) {
    startWithSequence();
    settings().createApp(0x1002, "Editor", "/usr/bin/editor");
    manager->devices()[1]->setConfig(&settings().findConfig("/usr/bin/editor", 0x1002, false), false);
    EXPECT_TRUE(sequencePlayer().playing());
    EXPECT_TRUE(keystrokes().empty());
}

TEST_F(DeviceManagerSequenceTest, ItsTrackballsDepartureCutsItShort) {
    startWithSequence();
    manager->dispatchMessage({deviceChangeMessage, deviceRemoveCompleteEvent, "core-01"});
    EXPECT_EQ(platform->inputCalls(), keysLetGo());
}

TEST_F(DeviceManagerSequenceTest, TheWorkersEndCutsItShort) {
    startWithSequence();
    manager->onThreadExit(true);
    EXPECT_FALSE(sequencePlayer().playing());
    EXPECT_EQ(platform->inputCalls(), keysLetGo());
    EXPECT_FALSE(waits().timers.contains(DeviceManager::sequenceTimerId));
}

TEST_F(DeviceManagerTest, ThreadExitReleasesTheSettingsButKeepsTheDevices) {
    startManager();
    manager->onThreadExit(true);
    EXPECT_EQ(manager->settings(), nullptr);
    EXPECT_EQ(manager->devices().size(), 2u) << "kept until the manager goes";
}

// The worker runs on the test thread through the steps scripted before run().
class DeviceManagerLearningTest : public DeviceManagerTest {
protected:
    DeviceManagerLearningTest() { makeManager(); }
    void step(std::function<void()> action) { scripted->thenDo(std::move(action)); }
    void click(test::DriverHarness& driver, std::uint8_t button) {
        step([&driver, button] { driver.hid.deliver({0, button, 0, 0, 0, 0}); });
        step([&driver] { driver.hid.deliver({0, 0, 0, 0, 0, 0}); });
    }
    // The clicks the driver made itself: a press and a release each.
    std::size_t driverClicks(test::DriverHarness& driver) { return driver.takePackets().size() / 2; }
    std::optional<std::chrono::milliseconds> learningTimer() {
        const auto found = scripted->timers.find(DeviceManager::learningTimerId);
        return found == scripted->timers.end() ? std::nullopt : std::optional(found->second);
    }
    using Events = std::vector<std::pair<std::uint16_t, bool>>;
};

TEST_F(DeviceManagerLearningTest, EveryButtonReachesThePageAndRunsNoActionUntilItEndsOrTheWorkerDoes) {
    using namespace std::chrono_literals;
    step([&] {
        // Button 2 runs a keystroke of the helper; button 1 stays a click of the driver.
        manager->setButtonAction(AppId("*"), 0x1001, 0x2, {{"command", "keystroke"}, {"keyCode", 65}});
        manager->startLearning(0x1001, 5s);
        manager->startLearning(0x1001, 5s);
        manager->startLearning(0x1002, 5s);
        EXPECT_EQ(test::errorText([&] { manager->startLearning(0x1003, 5s); }),
                  "No trackball of this configuration id is present");
        platform->clear();
    });
    click(firstDriver, 1);
    click(firstDriver, 2);
    step([&] {
        EXPECT_EQ(driverClicks(firstDriver), 0u);
        EXPECT_TRUE(platform->inputCalls().empty()) << "no action while learning";
        EXPECT_TRUE(learningTimer() > 4900ms && learningTimer() <= 5000ms);
        manager->stopLearning(0x1001);
    });
    click(firstDriver, 1);
    click(firstDriver, 2);
    manager->run();
    EXPECT_EQ(events.buttons,
              (std::vector<std::pair<std::uint16_t, std::uint32_t>>{
                  {0x1001, 1}, {0x1001, 0}, {0x1001, 2}, {0x1001, 0}, {0x1001, 2}, {0x1001, 0}}));
    EXPECT_EQ(driverClicks(firstDriver), 1u) << "its own map is back";
    EXPECT_EQ(platform->inputCalls().size(), 2u);
    EXPECT_EQ(events.learningEvents,
              (Events{{0x1001, true}, {0x1002, true}, {0x1001, false}, {0x1002, false}}))
        << "a renewal is not told";
    EXPECT_EQ(learningTimer(), std::nullopt);
    secondDriver.hid.deliver({0, 1, 0, 0, 0, 0});
    EXPECT_EQ(secondDriver.takePackets().size(), 1u) << "the worker's end gave back its own map";
}

TEST_F(DeviceManagerLearningTest, ItEndsWhenTheTimeIsUpOrItsTrackballGoesAndAProfileSwitchWaits) {
    Settings stored;
    stored.ensureDevice(0x1001);
    stored.createApp(0x1001, "Editor", "/usr/bin/editor");
    writeSettings(stored);
    step([&] {
        manager->startLearning(0x1001, std::chrono::seconds(1));
        desktop->set(3, "/usr/bin/editor");
        manager->dispatchMessage({workerMessageTimer, DeviceManager::pollTimerId, {}});
        manager->dispatchMessage({workerMessageTimer, DeviceManager::learningTimerId, {}});
    });
    click(firstDriver, 1);
    step([&] {
        EXPECT_EQ(manager->devices()[0]->getConfig(),
                  &settings().findConfig("/usr/bin/editor", 0x1001, false));
        std::this_thread::sleep_for(std::chrono::milliseconds(1010));
        manager->dispatchMessage({workerMessageTimer, DeviceManager::learningTimerId, {}});
    });
    click(firstDriver, 1);
    step([&] {
        manager->startLearning(0x1001, std::chrono::seconds(1));
        manager->dispatchMessage({deviceChangeMessage, deviceRemoveCompleteEvent, "core-01"});
    });
    manager->run();
    EXPECT_EQ(events.buttons.size(), 2u) << "the click while learning, after the switch";
    EXPECT_EQ(driverClicks(firstDriver), 1u) << "the editor's map, once the time was up";
    EXPECT_EQ(events.learningEvents,
              (Events{{0x1001, true}, {0x1001, false}, {0x1001, true}, {0x1001, false}}));
}

} // namespace
} // namespace obx
