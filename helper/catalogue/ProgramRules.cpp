#include "catalogue/ProgramRules.h"

#include "actions/LowerCase.h"

namespace obx {

namespace {

constexpr std::string_view windowsExcluded[] = {
    "applicationframehost.exe",       "explorer.exe",  "rundll32.exe",
    "windows\\system32\\control.exe", "obxhelper.exe", "quellane.exe",
};

// The helper, the configuration application, and the desktops' shells,
// panels and settings centres, which are the desktop rather than programs
// on it.
constexpr std::string_view linuxExcluded[] = {
    "/obxhelper",    "/quellane",
    "/gnome-shell",  "/gnome-control-center",
    "/plasmashell",  "/systemsettings",
    "/xfdesktop",    "/xfce4-panel",
    "/mate-panel",   "/lxpanel",
    "/lxqt-panel",   "/cinnamon",
    "/budgie-panel", "/xfce4-settings-manager",
};

} // namespace

const ProgramRules windowsPrograms{"\\", ".exe", windowsExcluded};
const ProgramRules linuxPrograms{"/", "", linuxExcluded};

bool ProgramRules::excluded(std::string_view loweredPath) const {
    for (const auto text : excludedTexts) {
        if (loweredPath.find(text) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

bool ProgramRules::launchable(std::string_view loweredTarget) const {
    if (executableSuffix.empty()) {
        return !loweredTarget.empty();
    }
    const auto at = loweredTarget.find(executableSuffix);
    return at != std::string_view::npos && at + executableSuffix.size() == loweredTarget.size();
}

std::string ProgramRules::fileNameTitle(std::string_view path) const {
    const auto slash = path.rfind(separator);
    std::string name(slash == std::string_view::npos ? path : path.substr(slash + separator.size()));
    if (!executableSuffix.empty()) {
        const auto at = lowerCase(name).find(executableSuffix);
        if (at == std::string::npos) {
            return {};
        }
        name.resize(at);
    }
    if (!name.empty() && name.front() >= 'a' && name.front() <= 'z') {
        name.front() = static_cast<char>(name.front() - 'a' + 'A');
    }
    return name;
}

} // namespace obx
