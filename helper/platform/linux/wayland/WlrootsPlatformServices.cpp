#include "platform/linux/wayland/WlrootsPlatformServices.h"

#include "base/Log.h"

namespace obx::wayland {

WlrootsPlatformServices::WlrootsPlatformServices(std::shared_ptr<ForeignToplevels> toplevels,
                                                 std::string dataFolder, x11::SessionLocker locker)
    : WaylandDesktopServices(std::move(dataFolder), std::move(locker)), toplevels_(std::move(toplevels)),
      sway_(*toplevels_), windows_(*toplevels_) {}

void WlrootsPlatformServices::applyPointerSettings(int speed, int accelerationRate, int wheelLines) {
    const auto* ipc = sway_.ipc();
    if (!ipc) {
        if (!pointerRefusalLogged_) {
            logText(LogLevel::warning, "WlrootsPlatformServices::applyPointerSettings - this compositor "
                                       "has no pointer settings the helper can reach");
            pointerRefusalLogged_ = true;
        }
        return;
    }
    try {
        const auto commands = swayPointerCommands(speed, accelerationRate, wheelLines);
        log(LogLevel::debug, "WlrootsPlatformServices::applyPointerSettings - ", commands);
        ipc->run(commands);
    } catch (const std::exception& error) {
        log(LogLevel::error, "WlrootsPlatformServices::applyPointerSettings - ", error.what());
    }
}

PointerReadback WlrootsPlatformServices::readBack() {
    if (const auto* ipc = sway_.ipc()) {
        try {
            return readPointerSettings(ipc->request(SwayMessage::getInputs));
        } catch (const std::exception& error) {
            log(LogLevel::error, "WlrootsPlatformServices - reading the pointer settings: ", error.what());
        }
    }
    return {};
}

void WlrootsPlatformServices::runSystemAction(const std::string& action, const nlohmann::json&) {
    try {
        if (action == "lockWorkstation") {
            locker_.lock();
            return;
        }
        const WindowAbilities abilities = sway_.ipc() ? WindowAbilities{false, false} : WindowAbilities{};
        if (!windows_.run(action, abilities)) {
            log(LogLevel::error, "Could not found handler for system action '", action, "'");
        }
    } catch (const std::exception& error) {
        log(LogLevel::error, "WlrootsPlatformServices::runSystemAction - ", error.what());
    }
}

} // namespace obx::wayland
