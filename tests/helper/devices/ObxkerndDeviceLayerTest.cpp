// The device manager on Linux against the real obxkernd with virtual
// trackballs, in runtime and settings folders of the test's own.

#include "base/DesktopNotifier.h"
#include "base/LogCapture.h"
#include "base/StatusNotices.h"
#include "devices/Device.h"
#include "devices/DeviceManager.h"
#include "platform/linux/base/LinuxWaitPrimitive.h"
#include "platform/linux/devices/LinuxDeviceNotices.h"
#include "platform/linux/devices/LinuxFileChangeWatch.h"
#include "settings/Settings.h"
#include "support/DaemonProcess.h"
#include "support/FakeDesktopQueries.h"
#include "support/RecordingPlatformServices.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace obx {
namespace {

using nlohmann::json;
using test::DaemonProcess;
using test::VirtualPeer;

// The virtual trackballs' product ids.
constexpr std::uint16_t firstProduct = 0x0101;
constexpr std::uint16_t secondProduct = 0x0102;

const std::vector<std::string> twoTrackballs = {"--virtual", "--product-id", "0x0101",
                                                "--virtual", "--product-id", "0x0102"};

class DeviceLayerOnObxkernd : public ::testing::Test {
protected:
    void SetUp() override {
        platform->folder = settingsFolder().string();
        std::filesystem::create_directories(settingsFolder());
        setDeviceLayerPlatformFactory([this] {
            DeviceLayerPlatform layer{std::make_unique<LinuxWaitPrimitive>(),
                                      std::make_unique<LinuxDeviceNotices>(daemon.runtimeDir()),
                                      std::make_unique<test::FakeDesktopQueries>(desktop),
                                      [](const std::filesystem::path& file) {
                                          return std::make_unique<LinuxFileChangeWatch>(file);
                                      }};
            return layer;
        });
        setDesktopNotifier([this](const std::string&, const std::string& body) {
            notifications.push_back(body);
            return true;
        });
        DeviceManager::instance().startWorker();
    }
    void TearDown() override {
        DeviceManager::destroyDeviceManager();
        setDeviceLayerPlatformFactory({});
        setDesktopNotifier({});
        StatusNotices::instance().clear("driver");
    }

    static std::string driverNotice() {
        for (const auto& notice : StatusNotices::instance().notices()) {
            if (notice.source == "driver") {
                return notice.text;
            }
        }
        return {};
    }
    // Written on the worker, under its lock.
    std::vector<std::string> notifications;

    std::filesystem::path settingsFolder() const { return daemon.runtimeDir().parent_path() / "settings"; }
    DeviceManager& manager() { return DeviceManager::instance(); }

    // Waits, without holding the worker, until condition holds under the
    // worker lock; false when it did not within the generous time-out.
    template <typename Condition>
    bool eventually(Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + test::kWait;
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard guard(manager());
                if (condition()) {
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    bool presentIds(std::vector<std::uint16_t> expected) {
        return eventually([&] {
            std::vector<std::uint16_t> ids;
            for (auto& device : manager().devices()) {
                ids.push_back(device->getRealId());
            }
            return ids == expected;
        });
    }
    bool recorded(const test::PlatformCall& call) {
        return eventually([&] {
            const auto calls = platform->inputCalls();
            return std::find(calls.begin(), calls.end(), call) != calls.end();
        });
    }

    test::ScopedRecordingPlatform platform;
    std::shared_ptr<test::DesktopState> desktop = std::make_shared<test::DesktopState>();
    DaemonProcess daemon{OBXKERND_PATH};
    LogCapture log;
};

TEST_F(DeviceLayerOnObxkernd, TrackballsOfADaemonStartedLaterArriveOpenedAndConfigured) {
    EXPECT_FALSE(std::filesystem::exists(daemon.runtimeDir())) << "the folder is waited for";
    ASSERT_TRUE(daemon.start(twoTrackballs));
    ASSERT_TRUE(presentIds({firstProduct, secondProduct}));
    std::lock_guard guard(manager());
    for (auto& device : manager().devices()) {
        EXPECT_EQ(device->getName(), "Virtual Trackball");
        EXPECT_EQ(device->getInterface(), DeviceInterfaceKind::usb);
        ASSERT_NE(device->getConfig(), nullptr) << "the global profile of its new settings entry";
        EXPECT_EQ(device->getConfig(),
                  &manager().settings()->findConfig(std::nullopt, device->getId(), false));
    }
    EXPECT_TRUE(log.contains(LogLevel::info, "device arrived: Virtual Trackball, id: 257, realId: 257, "
                                             "firmwareVersion: 100"));
}

TEST_F(DeviceLayerOnObxkernd, WithoutTheDaemonTheDriverNoticeSaysHowToStartItOnceAndGoesWithIt) {
    EXPECT_NE(driverNotice().find("obxkernd is not running"), std::string::npos) << driverNotice();
    EXPECT_NE(driverNotice().find("sudo systemctl enable --now obxkernd"), std::string::npos);
    ASSERT_TRUE(daemon.start(twoTrackballs));
    ASSERT_TRUE(presentIds({firstProduct, secondProduct}));
    // Asked again after the arrivals, which the list may show first.
    EXPECT_TRUE(eventually([&] { return driverNotice().empty(); })) << driverNotice();
    ASSERT_EQ(daemon.stop(SIGTERM), 0);
    std::filesystem::remove_all(daemon.runtimeDir()); // as the system does with the unit's folder
    ASSERT_TRUE(eventually([&] { return !driverNotice().empty(); }))
        << "looked for again while none is served";
    std::lock_guard guard(manager());
    EXPECT_EQ(notifications, std::vector<std::string>{driverNotice()})
        << "one desktop notification per start";
}

TEST_F(DeviceLayerOnObxkernd, ARemappedButtonClicksAnotherButtonInTheDriver) {
    ASSERT_TRUE(daemon.start(twoTrackballs));
    ASSERT_TRUE(presentIds({firstProduct, secondProduct}));
    manager().setButtonAction(std::nullopt, secondProduct, 0x1, {{"command", "singleClick"}, {"button", 2}});
    VirtualPeer second(daemon.runtimeDir(), 2);
    ASSERT_TRUE(second.send(0x01));
    EXPECT_EQ(second.nextPacket(), test::packetText(0x0004)) << "right button down";
    ASSERT_TRUE(second.send(0x00));
    EXPECT_EQ(second.nextPacket(), test::packetText(0x0008));
    VirtualPeer first(daemon.runtimeDir(), 1);
    ASSERT_TRUE(first.send(0x01));
    EXPECT_EQ(first.nextPacket(), test::packetText(0x0001)) << "the other trackball still clicks left";
}

TEST_F(DeviceLayerOnObxkernd, AButtonWithoutDriverMappingRunsItsActionOnTheWorker) {
    ASSERT_TRUE(daemon.start(twoTrackballs));
    ASSERT_TRUE(presentIds({firstProduct, secondProduct}));
    manager().setButtonAction(std::nullopt, firstProduct, 0x4,
                              {{"command", "singleClick"}, {"button", 2}, {"modifiers", "ctrl"}});
    VirtualPeer first(daemon.runtimeDir(), 1);
    platform->clear();
    ASSERT_TRUE(first.send(0x04));
    EXPECT_TRUE(recorded({"sendMouseButton", json::array({2, true})}));
    ASSERT_TRUE(first.send(0x00));
    EXPECT_TRUE(recorded({"sendMouseButton", json::array({2, false})}));
}

TEST_F(DeviceLayerOnObxkernd, TrackballsDepartWithTheDaemonAndReturnWithIt) {
    ASSERT_TRUE(daemon.start(twoTrackballs));
    ASSERT_TRUE(presentIds({firstProduct, secondProduct}));
    ASSERT_EQ(daemon.stop(SIGTERM), 0);
    EXPECT_TRUE(presentIds({}));
    ASSERT_TRUE(daemon.start(twoTrackballs));
    EXPECT_TRUE(presentIds({firstProduct, secondProduct}));
    // The returned session works: its configuration reached the new driver.
    manager().setButtonAction(std::nullopt, firstProduct, 0x1, {{"command", "singleClick"}, {"button", 3}});
    VirtualPeer first(daemon.runtimeDir(), 1);
    ASSERT_TRUE(first.send(0x01));
    EXPECT_EQ(first.nextPacket(), test::packetText(0x0010)) << "middle button down";
}

TEST_F(DeviceLayerOnObxkernd, AnotherProgramsEditIsReloadedButTheHelpersOwnSaveIsNot) {
    ASSERT_TRUE(daemon.start({"--virtual", "--product-id", "0x0101"}));
    ASSERT_TRUE(presentIds({firstProduct}));
    {
        std::lock_guard guard(manager());
        manager().settings()->findConfig(std::nullopt, firstProduct, false).speed = 11;
    }
    manager().setButtonAction(std::nullopt, firstProduct, 0x2, {{"command", "singleClick"}, {"button", 1}});
    // Written over in place at once, with the same length: the file is the
    // one the save left, and only its content and times differ.
    const auto file = settingsFolder() / "ObxSettings.json";
    std::ifstream saved(file, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(saved), {}};
    const std::string before = "\"speed\": 11", after = "\"speed\": 17";
    const auto speed = text.find(before);
    ASSERT_NE(speed, std::string::npos);
    text.replace(speed, before.size(), after);
    std::ofstream(file, std::ios::binary | std::ios::in | std::ios::out) << text;
    EXPECT_TRUE(eventually([&] {
        auto* config = manager().devices().front()->getConfig();
        return config != nullptr && config->speed == 17;
    }));
    EXPECT_EQ(std::ranges::count(log.records(), LogRecord{LogLevel::info, "Settings file change detected"}),
              1)
        << "the own save is no change";
    EXPECT_TRUE(recorded({"applyPointerSettings", json::array({17, 0, 1})}));
}

TEST_F(DeviceLayerOnObxkernd, SighupReloadsTheSettings) {
    ASSERT_TRUE(daemon.start({"--virtual", "--product-id", "0x0101"}));
    ASSERT_TRUE(presentIds({firstProduct}));
    DeviceConfig* before = nullptr;
    {
        std::lock_guard guard(manager());
        before = manager().devices().front()->getConfig();
    }
    ASSERT_EQ(::raise(SIGHUP), 0);
    EXPECT_TRUE(eventually([&] { return log.contains(LogLevel::debug, "Reloading settings"); }));
    EXPECT_TRUE(eventually([&] { return manager().devices().front()->getConfig() != before; }))
        << "every device re-pointed into the new settings";
}

} // namespace
} // namespace obx
