#pragma once

// A device layer without trackballs: the configuration access operations
// over the settings file only. It serves the helper core until the device
// manager with its worker thread is wired in.

#include "devices/DeviceManagerBase.h"
#include "shell/HelperCore.h"

#include <memory>

namespace obx {

class SettingsDeviceLayer : public DeviceLayer {
public:
    IObxDeviceManager& manager() override;
    // Loads the settings file; throws what loading throws.
    bool start() override;
    void destroy() override;

private:
    DeviceManagerBase& base();

    std::unique_ptr<DeviceManagerBase> manager_;
};

} // namespace obx
