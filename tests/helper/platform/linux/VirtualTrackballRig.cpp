#include "VirtualTrackballRig.h"

#include "devices/DeviceManager.h"
#include "platform/linux/base/LinuxWaitPrimitive.h"
#include "platform/linux/devices/LinuxDeviceNotices.h"
#include "support/DaemonProcess.h"
#include "support/Environment.h"

#include <gtest/gtest.h>
#include <thread>

namespace obx::test {

namespace {

bool deviceArrives() {
    const auto end = std::chrono::steady_clock::now() + kWait;
    while (std::chrono::steady_clock::now() < end) {
        {
            std::lock_guard guard(DeviceManager::instance());
            if (DeviceManager::instance().devices().size() == 1) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

VirtualTrackballRig::VirtualTrackballRig(std::unique_ptr<PlatformServicesImpl> services)
    : daemon_(std::make_unique<DaemonProcess>(OBXKERND_PATH)) {
    setEnvironmentVariable("XDG_CONFIG_HOME", config_.path().string());
    installPlatformServices(std::move(services));
    setDeviceLayerPlatformFactory([this] {
        return DeviceLayerPlatform{std::make_unique<LinuxWaitPrimitive>(),
                                   std::make_unique<LinuxDeviceNotices>(daemon_->runtimeDir()),
                                   std::make_unique<FakeDesktopQueries>(desktop_),
                                   {}};
    });
    DeviceManager::instance().startWorker();
    started_ = daemon_->start({"--virtual", "--product-id", "0x0101"}) && deviceArrives();
}

VirtualTrackballRig::~VirtualTrackballRig() {
    peer_.reset();
    DeviceManager::destroyDeviceManager();
    setDeviceLayerPlatformFactory({});
    destroyPlatformServices();
    unsetEnvironmentVariable("XDG_CONFIG_HOME");
}

void VirtualTrackballRig::setAction(std::uint32_t mask, const nlohmann::json& action) {
    DeviceManager::instance().setButtonAction(std::nullopt, product, mask, action);
}

bool VirtualTrackballRig::send(std::uint8_t buttons, std::int8_t x, std::int8_t y, std::int8_t wheel) {
    return peer().send(buttons, x, y, wheel);
}

void VirtualTrackballRig::expectNothingBeforeAMove() {
    ASSERT_TRUE(peer().send(0, 3, 4));
    EXPECT_EQ(peer().nextPacket(), packetText(0, 0, 3, 4));
}

VirtualPeer& VirtualTrackballRig::peer() {
    if (!peer_) {
        peer_ = std::make_unique<VirtualPeer>(daemon_->runtimeDir(), 1);
    }
    return *peer_;
}

} // namespace obx::test
