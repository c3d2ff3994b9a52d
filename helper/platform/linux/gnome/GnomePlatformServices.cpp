#include "platform/linux/gnome/GnomePlatformServices.h"

#include "base/Log.h"

namespace obx::gnome {

namespace {

constexpr std::chrono::milliseconds commandTimeout(2000);
constexpr int wheelLinesOfGnome = 1;

bool windowCommand(const std::string& action) {
    static const std::set<std::string> commands{"maximizeWindow", "minimizeWindow", "closeWindow",
                                                "minimizeAll"};
    return commands.contains(action);
}

} // namespace

GnomePlatformServices::GnomePlatformServices(std::string dataFolder, x11::SessionLocker locker)
    : WaylandDesktopServices(std::move(dataFolder), std::move(locker)), calls_(commandTimeout) {}

void GnomePlatformServices::applyPointerSettings(int speed, int accelerationRate, int wheelLines) {
    try {
        log(LogLevel::debug, "GnomePlatformServices::applyPointerSettings - speed ", speed, ", acceleration ",
            accelerationRate);
        pointer_.apply(speed, accelerationRate);
    } catch (const std::exception& error) {
        log(LogLevel::error, "GnomePlatformServices::applyPointerSettings - ", error.what());
    }
    if (wheelLines != wheelLinesOfGnome) {
        cannot("set the wheel's lines", "GNOME has no setting for them");
    }
}

linuxos::PointerReadback GnomePlatformServices::readBack() {
    try {
        return pointer_.read();
    } catch (const std::exception& error) {
        log(LogLevel::error, "GnomePlatformServices - reading the pointer settings: ", error.what());
    }
    return {};
}

void GnomePlatformServices::runSystemAction(const std::string& action, const nlohmann::json&) {
    try {
        if (action == "lockWorkstation") {
            locker_.lock();
            return;
        }
        if (!windowCommand(action)) {
            log(LogLevel::error, "Could not found handler for system action '", action, "'");
            return;
        }
        if (!calls_.runWindowCommand(action)) {
            cannot("carry out \"" + action + "\"", "the GNOME Shell extension does not know it");
        }
    } catch (const std::exception& error) {
        cannot("carry out window commands now",
               std::string(error.what()) + " (GNOME loads new extensions at the next sign-in)");
    }
}

} // namespace obx::gnome
