#include "shell/ProcessDeviceLayer.h"

#include "devices/DeviceManager.h"

namespace obx {

IObxDeviceManager& ProcessDeviceLayer::manager() {
    return DeviceManager::instance();
}

void ProcessDeviceLayer::start() {
    DeviceManager::instance().startWorker();
}

void ProcessDeviceLayer::destroy() {
    DeviceManager::destroyDeviceManager();
}

} // namespace obx
