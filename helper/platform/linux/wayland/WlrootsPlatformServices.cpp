#include "platform/linux/wayland/WlrootsPlatformServices.h"

#include "base/Log.h"
#include "platform/linux/desktop/PointerButtons.h"

namespace obx::wayland {

WlrootsPlatformServices::WlrootsPlatformServices(std::shared_ptr<ForeignToplevels> toplevels,
                                                 std::string dataFolder, x11::SessionLocker locker)
    : WaylandDesktopServices(std::move(dataFolder), std::move(locker)), toplevels_(std::move(toplevels)),
      sway_(*toplevels_), windows_(*toplevels_), input_(toplevels_->displayName()),
      menu_(toplevels_->displayName()) {}

void WlrootsPlatformServices::sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                                            bool modifiersOnly) {
    try {
        input_.keystroke(modifiers, keyCode, down, modifiersOnly);
    } catch (const std::exception& error) {
        log(LogLevel::error, "WlrootsPlatformServices::sendKeystroke - ", error.what());
    }
}

void WlrootsPlatformServices::typeText(const std::string& text) {
    try {
        input_.type(text);
    } catch (const std::exception& error) {
        log(LogLevel::error, "WlrootsPlatformServices::typeText - ", error.what());
    }
}

void WlrootsPlatformServices::sendMouseButton(std::uint32_t buttonMask, bool down) {
    if (const auto code = linuxos::evdevButton(buttonMask)) {
        try {
            input_.button(*code, down);
        } catch (const std::exception& error) {
            log(LogLevel::error, "WlrootsPlatformServices::sendMouseButton - ", error.what());
        }
    }
}

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

std::string WlrootsPlatformServices::showSnippetMenu(const std::vector<std::string>& contents,
                                                     const std::vector<std::string>& labels) {
    return menu_.choose(contents, labels);
}

} // namespace obx::wayland
