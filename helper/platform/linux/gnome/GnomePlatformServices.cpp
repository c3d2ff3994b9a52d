#include "platform/linux/gnome/GnomePlatformServices.h"

#include "actions/SnippetMenuEntries.h"
#include "base/Log.h"
#include "platform/linux/desktop/PointerButtons.h"

namespace obx::gnome {

namespace {

constexpr std::chrono::milliseconds commandTimeout(2000);
// The extension closes a menu left open for 60 s; the helper waits a little
// longer for that answer.
constexpr std::chrono::milliseconds snippetMenuTimeout(65000);
constexpr int wheelLinesOfGnome = 1;

bool windowCommand(const std::string& action) {
    static const std::set<std::string> commands{"maximizeWindow", "minimizeWindow", "closeWindow",
                                                "minimizeAll"};
    return commands.contains(action);
}

} // namespace

GnomePlatformServices::GnomePlatformServices(std::string dataFolder, x11::SessionLocker locker)
    : WaylandDesktopServices(std::move(dataFolder), std::move(locker)), calls_(commandTimeout),
      menuCalls_(snippetMenuTimeout), input_(commandTimeout) {}

void GnomePlatformServices::sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                                          bool modifiersOnly) {
    try {
        input_.keystroke(modifiers, keyCode, down, modifiersOnly);
    } catch (const std::exception& error) {
        log(LogLevel::error, "GnomePlatformServices::sendKeystroke - ", error.what());
    }
}

void GnomePlatformServices::typeText(const std::string& text) {
    try {
        input_.type(text);
    } catch (const std::exception& error) {
        log(LogLevel::error, "GnomePlatformServices::typeText - ", error.what());
    }
}

void GnomePlatformServices::sendMouseButton(std::uint32_t buttonMask, bool down) {
    if (const auto code = linuxos::evdevButton(buttonMask)) {
        try {
            input_.button(*code, down);
        } catch (const std::exception& error) {
            log(LogLevel::error, "GnomePlatformServices::sendMouseButton - ", error.what());
        }
    }
}

std::string GnomePlatformServices::showSnippetMenu(const std::vector<std::string>& contents,
                                                   const std::vector<std::string>& labels) {
    const auto entries = snippetMenuEntries(contents, labels);
    std::vector<std::string> captions;
    for (const auto& entry : entries) {
        captions.push_back(entry.caption);
    }
    try {
        const int chosen = menuCalls_.showSnippetMenu(snippetMenuTitle, captions);
        if (chosen >= 0 && static_cast<std::size_t>(chosen) < entries.size()) {
            return entries[static_cast<std::size_t>(chosen)].content;
        }
    } catch (const std::exception& error) {
        log(LogLevel::error, "GnomePlatformServices::showSnippetMenu - ", error.what());
    }
    return {};
}

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
