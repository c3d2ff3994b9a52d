#include "platform/linux/actions/LinuxPlatformServices.h"

#include "actions/ArrowKeyScroll.h"
#include "base/Log.h"
#include "catalogue/ProgramCatalogue.h"
#include "platform/linux/actions/Programs.h"
#include "platform/linux/actions/XdgFolders.h"
#include "platform/linux/x11/KeystrokeSender.h"
#include "platform/linux/x11/PopupMenu.h"
#include "platform/linux/x11/WindowCommands.h"
#include "platform/linux/x11/XProperties.h"
#include "platform/linux/x11/XTestInput.h"

#include <cstdlib>
#include <exception>

namespace obx::x11 {

namespace {

// Runs the body; whatever it throws is logged with the prefix and goes no
// further.
template <typename Body>
void guarded(const char* prefix, Body&& body) {
    try {
        body();
    } catch (const std::exception& error) {
        log(LogLevel::error, prefix, error.what());
    }
}

} // namespace

LinuxPlatformServices::LinuxPlatformServices() : LinuxPlatformServices(Options{}) {}

LinuxPlatformServices::LinuxPlatformServices(Options options)
    : options_(std::move(options)), connection_(options_.displayName) {
    if (connection_.valid()) {
        pointer_.emplace(connection_.display());
        typer_.emplace(options_.displayName, options_.lentKeyHold);
    }
}

bool LinuxPlatformServices::connected(const char* operation) const {
    if (!connection_.valid()) {
        log(LogLevel::error, "LinuxPlatformServices::", operation, " - no X display");
        return false;
    }
    connection_.takeUnaskedEvents();
    return true;
}

void LinuxPlatformServices::sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                                          bool modifiersOnly) {
    if (connected("sendKeystroke")) {
        guarded("LinuxPlatformServices::sendKeystroke - ", [&] {
            KeystrokeSender(connection_.display()).send(modifiers, keyCode, down, modifiersOnly);
        });
    }
}

void LinuxPlatformServices::typeText(const std::string& text) {
    if (connected("typeText")) {
        guarded("Error converting snippet string to UTF16: ", [&] { typer_->typeText(text); });
    }
}

void LinuxPlatformServices::sendMouseButton(std::uint32_t buttonMask, bool down) {
    unsigned button = 0;
    switch (buttonMask) {
    case 1:
        button = Button1;
        break;
    case 2:
        button = Button3;
        break;
    case 4:
        button = Button2;
        break;
    default:
        return;
    }
    if (connected("sendMouseButton")) {
        const ServerGrab grab(connection_.display());
        XTestInput(connection_.display()).sendButton(button, down);
    }
}

void LinuxPlatformServices::applyPointerSettings(int speed, int accelerationRate, int wheelLines) {
    if (connected("applyPointerSettings")) {
        pointer_->apply(speed, accelerationRate, wheelLines);
    }
}

void LinuxPlatformServices::openItem(const std::string& path, const std::vector<std::string>&, int) {
    guarded("LinuxPlatformServices::openItem - ", [&] {
        if (!openWithDefaultApplication(path)) {
            log(LogLevel::error, "LinuxPlatformServices::openItem - could not start xdg-open for ", path);
        }
    });
}

std::string LinuxPlatformServices::dataFolder() {
    return helperDataFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

void LinuxPlatformServices::runSystemAction(const std::string& action, const nlohmann::json&) {
    if (action == "lockWorkstation") {
        guarded("LinuxPlatformServices::runSystemAction - ", [&] { options_.locker.lock(); });
        return;
    }
    using Command = void (WindowCommands::*)(Window) const;
    static const std::pair<const char*, Command> windowActions[] = {
        {"maximizeWindow", &WindowCommands::maximize},
        {"minimizeWindow", &WindowCommands::minimize},
        {"closeWindow", &WindowCommands::close},
        {"minimizeAll", &WindowCommands::minimizeOthers},
    };
    for (const auto& [name, command] : windowActions) {
        if (action == name) {
            if (connected("runSystemAction")) {
                const Window active = activeWindow(connection_.display());
                if (active != None) {
                    (WindowCommands(connection_.display()).*command)(active);
                }
            }
            return;
        }
    }
    log(LogLevel::error, "Could not found handler for system action '", action, "'");
}

nlohmann::json LinuxPlatformServices::listApplications(int maxCount,
                                                       const std::set<std::string>& excludedNames) {
    return programCatalogue().listApplications(maxCount, excludedNames);
}

std::string LinuxPlatformServices::showSnippetMenu(const std::vector<std::string>& contents,
                                                   const std::vector<std::string>& labels) {
    std::string chosen;
    if (connected("showSnippetMenu")) {
        guarded("LinuxPlatformServices::showSnippetMenu - ", [&] {
            const auto entries = snippetMenuEntries(contents, labels);
            PopupMenu menu(connection_.display(), entries);
            if (const auto index = menu.run()) {
                chosen = entries[*index].content;
            }
        });
    }
    return chosen;
}

int LinuxPlatformServices::systemPointerSpeed() {
    return pointer_ ? pointer_->pointerSpeed() : 50;
}

int LinuxPlatformServices::systemAccelerationRate() {
    return pointer_ ? pointer_->accelerationRate() : 0;
}

int LinuxPlatformServices::systemWheelLines() {
    return pointer_ ? pointer_->wheelLines() : 1;
}

bool LinuxPlatformServices::systemScrollInvert() {
    return pointer_ && pointer_->scrollInvert();
}

void LinuxPlatformServices::scrollByKeys(std::uint32_t direction, int lines) {
    scrollByArrowKeys(*this, direction, lines);
}

} // namespace obx::x11
