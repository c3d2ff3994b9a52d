#include "shell/SettingsDeviceLayer.h"

#include "settings/Settings.h"

namespace obx {

DeviceManagerBase& SettingsDeviceLayer::base() {
    if (!manager_) {
        manager_ = std::make_unique<DeviceManagerBase>();
    }
    return *manager_;
}

IObxDeviceManager& SettingsDeviceLayer::manager() {
    return base();
}

bool SettingsDeviceLayer::start() {
    base().useSettings(std::make_unique<Settings>(true));
    return true;
}

void SettingsDeviceLayer::destroy() {
    manager_.reset();
}

} // namespace obx
