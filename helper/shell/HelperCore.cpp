#include "shell/HelperCore.h"

#include "devices/IObxDeviceManager.h"
#include "server/CommandServer.h"

namespace obx {

HelperCore::HelperCore(DeviceLayer& devices, std::uint16_t port) : devices_(devices) {
    auto& manager = devices_.manager();
    server_ = std::make_unique<CommandServer>(manager, port);
    // The worker ends (destroy) before the server goes, so it never reports to a feed that is gone.
    manager.reportEventsTo(&server_->deviceEvents());
    try {
        devices_.start();
        server_->start();
    } catch (...) {
        server_.reset();
        devices_.destroy();
        throw;
    }
}

HelperCore::~HelperCore() {
    server_->stop();
    devices_.destroy();
    server_.reset();
}

IObxDeviceManager& HelperCore::deviceManager() {
    return devices_.manager();
}

} // namespace obx
