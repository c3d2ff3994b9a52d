#include "platform/linux/wayland/WlrootsPlatformServices.h"

#include "base/Log.h"
#include "catalogue/ProgramCatalogue.h"
#include "platform/linux/actions/Programs.h"

namespace obx::wayland {

WlrootsPlatformServices::WlrootsPlatformServices(std::shared_ptr<ForeignToplevels> toplevels,
                                                 std::string dataFolder, x11::SessionLocker locker)
    : HeadlessPlatformServices(std::move(dataFolder)), toplevels_(std::move(toplevels)),
      locker_(std::move(locker)), sway_(*toplevels_), windows_(*toplevels_) {}

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

void WlrootsPlatformServices::openItem(const std::string& path, const std::vector<std::string>&, int) {
    try {
        if (!x11::openWithDefaultApplication(path)) {
            log(LogLevel::error, "WlrootsPlatformServices::openItem - could not start xdg-open for ", path);
        }
    } catch (const std::exception& error) {
        log(LogLevel::error, "WlrootsPlatformServices::openItem - ", error.what());
    }
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

nlohmann::json WlrootsPlatformServices::listApplications(int maxCount,
                                                         const std::set<std::string>& excludedNames) {
    return programCatalogue().listApplications(maxCount, excludedNames);
}

} // namespace obx::wayland
