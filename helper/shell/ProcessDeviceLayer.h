#pragma once

// The helper core's device layer: the process's one DeviceManager with its
// worker thread.

#include "shell/HelperCore.h"

namespace obx {

class ProcessDeviceLayer : public DeviceLayer {
public:
    IObxDeviceManager& manager() override;
    void start() override;
    void destroy() override;
};

} // namespace obx
