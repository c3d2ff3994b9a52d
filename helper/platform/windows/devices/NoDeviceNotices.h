#pragma once

// The device discovery of the Windows helper until its device-interface
// enumeration and arrival notices are built: no trackball is present and
// none ever arrives. Everything above it (the worker, the settings, the
// server) runs for real.

#include "devices/DeviceLayerPlatform.h"

#include <stdexcept>

namespace obx::windows {

class NoDeviceNotices final : public IDeviceNotices {
public:
    std::vector<std::string> presentDevices() override { return {}; }
    std::unique_ptr<IDriverChannel> channelFor(const std::string&) override {
        throw std::runtime_error("Error opening the device");
    }
    void startNotices(MsgWFMOHandler&) override {}
    void stopNotices() override {}
};

} // namespace obx::windows
