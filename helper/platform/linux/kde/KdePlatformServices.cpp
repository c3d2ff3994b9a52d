#include "platform/linux/kde/KdePlatformServices.h"

#include "base/Log.h"
#include "platform/linux/desktop/PointerButtons.h"

#include <map>

namespace obx::kde {

namespace {

// The window commands and the one-shot script that does each.
const std::map<std::string, std::string>& windowCommandScripts() {
    static const std::map<std::string, std::string> scripts{{"closeWindow", "close"},
                                                            {"maximizeWindow", "maximize"},
                                                            {"minimizeWindow", "minimize"},
                                                            {"minimizeAll", "minimize-all"}};
    return scripts;
}

// KWin runs a started script a moment after its answer, so a one-shot
// script is unloaded only once it is this old, or when too many wait.
constexpr auto settled = std::chrono::seconds(2);
constexpr std::size_t mostLoaded = 16;

} // namespace

KdePlatformServices::KdePlatformServices(std::filesystem::path scriptFolder, std::string dataFolder,
                                         x11::SessionLocker locker)
    : WaylandDesktopServices(std::move(dataFolder), std::move(locker)),
      scriptFolder_(std::move(scriptFolder)) {}

KdePlatformServices::~KdePlatformServices() {
    // No one-shot script is left behind in KWin.
    const std::lock_guard lock(busMutex_);
    if (!bus_) {
        return;
    }
    for (const auto& script : loaded_) {
        try {
            KWinScripting(bus_.get()).unload(script.name);
        } catch (const std::exception& error) {
            log(LogLevel::warning, "KdePlatformServices - ", error.what());
        }
    }
}

sd_bus* KdePlatformServices::bus() {
    if (!bus_) {
        bus_ = openSessionBus();
    }
    return bus_.get();
}

void KdePlatformServices::dropBus() {
    // A connection that failed is opened again at the next use.
    if (bus_ && !sd_bus_is_open(bus_.get())) {
        bus_.reset();
    }
}

template <typename Input>
void KdePlatformServices::input(const char* what, Input&& body) {
    try {
        body();
    } catch (const FakeInputRefused& refusal) {
        cannot("make keystrokes, text and clicks", refusal.what());
    } catch (const std::exception& error) {
        log(LogLevel::error, "KdePlatformServices::", what, " - ", error.what());
    }
}

void KdePlatformServices::sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                                        bool modifiersOnly) {
    input("sendKeystroke", [&] { input_.keystroke(modifiers, keyCode, down, modifiersOnly); });
}

void KdePlatformServices::typeText(const std::string& text) {
    input("typeText", [&] { input_.type(text); });
}

void KdePlatformServices::sendMouseButton(std::uint32_t buttonMask, bool down) {
    if (const auto code = linuxos::evdevButton(buttonMask)) {
        input("sendMouseButton", [&] { input_.button(*code, down); });
    }
}

void KdePlatformServices::applyPointerSettings(int speed, int accelerationRate, int wheelLines) {
    const auto wanted = linuxos::libinputPointer(speed, accelerationRate, wheelLines);
    const std::lock_guard lock(busMutex_);
    try {
        KWinInputDevices devices(bus());
        const auto pointers = devices.pointers();
        if (pointers.empty() && !noPointerLogged_) {
            log(LogLevel::warning,
                "KdePlatformServices::applyPointerSettings - KWin shows no pointer device");
            noPointerLogged_ = true;
        }
        for (const auto& path : pointers) {
            for (const auto& change : kwinPointerChanges(devices.state(path), wanted)) {
                log(LogLevel::debug, "KdePlatformServices::applyPointerSettings - ", path, " ", change.name);
                devices.change(path, change);
            }
        }
    } catch (const std::exception& error) {
        log(LogLevel::error, "KdePlatformServices::applyPointerSettings - ", error.what());
        dropBus();
    }
}

linuxos::PointerReadback KdePlatformServices::readBack() {
    const std::lock_guard lock(busMutex_);
    try {
        KWinInputDevices devices(bus());
        const auto pointers = devices.pointers();
        if (!pointers.empty()) {
            return kwinPointerReadback(devices.state(pointers.front()));
        }
    } catch (const std::exception& error) {
        log(LogLevel::error, "KdePlatformServices - reading the pointer settings: ", error.what());
        dropBus();
    }
    return {};
}

void KdePlatformServices::runSystemAction(const std::string& action, const nlohmann::json&) {
    try {
        if (action == "lockWorkstation") {
            locker_.lock();
            return;
        }
        const auto found = windowCommandScripts().find(action);
        if (found == windowCommandScripts().end()) {
            log(LogLevel::error, "Could not found handler for system action '", action, "'");
            return;
        }
        const auto file = scriptFolder_ / (found->second + ".js");
        std::error_code missing;
        if (!std::filesystem::is_regular_file(file, missing)) {
            cannot("do \"" + action + "\"", "its KWin script " + file.string() + " is not installed");
            return;
        }
        const std::lock_guard lock(busMutex_);
        try {
            runScript(file, found->second);
        } catch (const std::exception& error) {
            dropBus();
            cannot("do \"" + action + "\"", error.what());
        }
    } catch (const std::exception& error) {
        log(LogLevel::error, "KdePlatformServices::runSystemAction - ", error.what());
    }
}

void KdePlatformServices::runScript(const std::filesystem::path& file, const std::string& stem) {
    const auto now = std::chrono::steady_clock::now();
    KWinScripting scripting(bus());
    while (!loaded_.empty() && (now - loaded_.front().loaded >= settled || loaded_.size() >= mostLoaded)) {
        scripting.unload(loaded_.front().name);
        loaded_.pop_front();
    }
    // A name of its own per run: an earlier press's script may not have run yet.
    const std::string name = "obx-" + stem + "-" + std::to_string(++runs_);
    scripting.run(file, name);
    loaded_.push_back({name, now});
}

std::string KdePlatformServices::showSnippetMenu(const std::vector<std::string>& contents,
                                                 const std::vector<std::string>& labels) {
    return menu_.choose(contents, labels);
}

} // namespace obx::kde
