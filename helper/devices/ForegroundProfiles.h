#pragma once

// Switches every trackball to the profile of the application in the
// foreground when the foreground window changes.

#include "devices/DesktopQueries.h"
#include "devices/IObxDevice.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace obx {

class DeviceConfig;
class Settings;

// The configuration of the profile for the executable at path (any letter
// case), or of the global profile; the device must have an entry.
DeviceConfig& profileConfig(Settings& settings, std::uint16_t device, const std::string& executablePath);

class ForegroundProfiles {
public:
    explicit ForegroundProfiles(IDesktopQueries& desktop) : desktop_(desktop) {}

    // The lower-cased executable path of the foreground application; empty
    // when it cannot be told.
    std::string foregroundPath();
    void check(Settings& settings, const std::vector<std::shared_ptr<IObxDevice>>& devices);

private:
    IDesktopQueries& desktop_;
    std::uint64_t lastForegroundWindow_ = 0;
};

} // namespace obx
