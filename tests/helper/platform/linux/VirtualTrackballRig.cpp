#include "VirtualTrackballRig.h"

#include "devices/DeviceManager.h"
#include "platform/linux/base/LinuxWaitPrimitive.h"
#include "platform/linux/devices/LinuxDeviceNotices.h"
#include "support/Environment.h"

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

VirtualTrackballRig::VirtualTrackballRig(std::unique_ptr<PlatformServicesImpl> services) {
    setEnvironmentVariable("XDG_CONFIG_HOME", config_.path().string());
    installPlatformServices(std::move(services));
    setDeviceLayerPlatformFactory([this] {
        return DeviceLayerPlatform{std::make_unique<LinuxWaitPrimitive>(),
                                   std::make_unique<LinuxDeviceNotices>(daemon_.runtimeDir()),
                                   std::make_unique<FakeDesktopQueries>(desktop_),
                                   {}};
    });
    DeviceManager::instance().startWorker();
    started_ = daemon_.start({"--virtual", "--product-id", "0x0101"}) && deviceArrives();
}

VirtualTrackballRig::~VirtualTrackballRig() {
    DeviceManager::destroyDeviceManager();
    setDeviceLayerPlatformFactory({});
    destroyPlatformServices();
    unsetEnvironmentVariable("XDG_CONFIG_HOME");
}

void VirtualTrackballRig::setAction(std::uint32_t mask, const nlohmann::json& action) {
    DeviceManager::instance().setButtonAction(std::nullopt, product, mask, action);
}

VirtualPeer& VirtualTrackballRig::peer() {
    if (!peer_) {
        peer_.emplace(daemon_.runtimeDir(), 1);
    }
    return *peer_;
}

} // namespace obx::test
