#include "service/linux/DesktopSession.h"

#include "platform/linux/actions/Programs.h"

#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace obx::linuxos {

namespace {

constexpr const char* utilityProgram = "Quellane2";
constexpr const char* utilityDesktopEntry = "Quellane2.desktop";

bool desktopEntryFound() {
    std::vector<std::filesystem::path> folders;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome == '/') {
        folders.emplace_back(dataHome);
    } else if (home && *home == '/') {
        folders.push_back(std::filesystem::path(home) / ".local" / "share");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::istringstream list(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share");
    for (std::string folder; std::getline(list, folder, ':');) {
        if (!folder.empty() && folder.front() == '/') {
            folders.emplace_back(folder);
        }
    }
    for (const auto& folder : folders) {
        std::error_code error;
        if (std::filesystem::is_regular_file(folder / "applications" / utilityDesktopEntry, error)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool InstalledCheck::installed() {
    if (!x11::findProgram(utilityProgram).empty()) {
        return true;
    }
    const auto beside = programFolder_ / utilityProgram;
    return (!programFolder_.empty() && ::access(beside.c_str(), X_OK) == 0) || desktopEntryFound();
}

bool SessionPopupStarter::start() {
    // The user's bus is where the notification goes; without one nobody is
    // signed in to see it.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    const bool userBus =
        (address && *address) ||
        (runtime && *runtime && std::filesystem::exists(std::filesystem::path(runtime) / "bus", error));
    if (!userBus) {
        log_.write(4, "No one is logged in\n");
        return false;
    }
    if (!x11::startDetached({program_.string(), "-showpopup"}, program_.parent_path().string())) {
        log_.write(4, "Failed to create process(1) as user, %d\n", -1);
        return false;
    }
    return true;
}

int XdgPageOpener::open(const char* address) {
    return x11::startDetached({"xdg-open", address}, {}) ? 0 : -1;
}

std::string displayLanguageName(std::string_view locale) {
    std::string name(locale.substr(0, locale.find_first_of(".@")));
    for (auto& c : name) {
        if (c == '_') {
            c = '-';
        }
    }
    return name;
}

std::optional<std::string> preferredDisplayLanguage() {
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        const std::string_view all(value ? value : "");
        const auto first = all.substr(0, all.find(':'));
        if (!first.empty()) {
            return displayLanguageName(first);
        }
    }
    return std::nullopt;
}

} // namespace obx::linuxos
