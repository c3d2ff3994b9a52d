#include "devices/DeviceBase.h"

#include "actions/SequencePlayer.h"
#include "base/Log.h"

namespace obx {

DeviceBase::~DeviceBase() {
    sequencePlayer().cutShortFrom(static_cast<const IObxDevice*>(this));
}

bool DeviceBase::setConfig(DeviceConfig* config, bool force) {
    if (config == config_ && !force) {
        log(LogLevel::debug, "Device::setConfig - same config as before, not setting");
        return false;
    }
    if (config != config_) {
        sequencePlayer().cutShortFrom(static_cast<const IObxDevice*>(this));
    }
    log(LogLevel::debug, "DeviceBase::setConfig - setting new config");
    config_ = config;
    applyPointerConfig();
    applyScrollConfig();
    return applyButtonConfig();
}

} // namespace obx
