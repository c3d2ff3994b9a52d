#include "devices/DeviceBase.h"

#include "base/Log.h"

namespace obx {

bool DeviceBase::setConfig(DeviceConfig* config, bool force) {
    if (config == config_ && !force) {
        log(LogLevel::debug, "Device::setConfig - same config as before, not setting");
        return false;
    }
    log(LogLevel::debug, "DeviceBase::setConfig - setting new config");
    config_ = config;
    applyPointerConfig();
    applyScrollConfig();
    return applyButtonConfig();
}

} // namespace obx
