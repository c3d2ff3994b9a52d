#include "devices/ForegroundProfiles.h"

#include "actions/LowerCase.h"
#include "base/Log.h"
#include "settings/Settings.h"

namespace obx {

DeviceConfig& profileConfig(Settings& settings, std::uint16_t device, const std::string& executablePath) {
    return settings.findConfig(lowerCase(executablePath), device, true);
}

std::string ForegroundProfiles::foregroundPath() {
    return lowerCase(desktop_.foregroundApplicationPath());
}

void ForegroundProfiles::check(Settings& settings, const std::vector<std::shared_ptr<IObxDevice>>& devices) {
    const auto window = desktop_.foregroundWindow();
    if (window == 0 || window == lastForegroundWindow_) {
        return;
    }
    // Empty when the window went or its process cannot be read: asked again
    // on the next tick.
    const auto path = foregroundPath();
    if (path.empty()) {
        return;
    }
    log(LogLevel::debug, "Foreground window has changed: ", path);
    for (const auto& device : devices) {
        try {
            const auto identifier = settings.findProcessProfile(device->getId(), path);
            if (identifier.empty()) {
                continue;
            }
            log(LogLevel::debug, "App config changed to: ", identifier);
            device->setConfig(&settings.findConfig(identifier, device->getId(), true), false);
        } catch (const std::exception& error) {
            // One trackball's failure leaves the others and the worker running.
            log(LogLevel::error, "Error switching the application profile, reason: ", error.what());
        }
    }
    lastForegroundWindow_ = window;
}

} // namespace obx
