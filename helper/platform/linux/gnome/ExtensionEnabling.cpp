#include "platform/linux/gnome/ExtensionEnabling.h"

#include "base/Log.h"
#include "platform/linux/desktop/DesktopNotification.h"
#include "platform/linux/gnome/GSettingsKeys.h"
#include "platform/linux/gnome/ShellBridgeBus.h"

#include <algorithm>
#include <fstream>

namespace obx::gnome {

namespace {

constexpr const char* shellSchema = "org.gnome.shell";
constexpr const char* enabledKey = "enabled-extensions";
constexpr const char* markerName = "gnome-extension-enabled";
constexpr const char* signInNotice =
    "GNOME loads new extensions at the next sign-in: until then programs do not switch profiles and "
    "window commands do nothing";

} // namespace

std::vector<std::string> withExtension(const std::vector<std::string>& enabled, const std::string& uuid) {
    if (std::find(enabled.begin(), enabled.end(), uuid) != enabled.end()) {
        return {};
    }
    auto list = enabled;
    list.push_back(uuid);
    return list;
}

bool enableShellExtension(const std::filesystem::path& dataFolder) {
    const auto marker = dataFolder / markerName;
    std::error_code error;
    if (std::filesystem::exists(marker, error)) {
        return false;
    }
    try {
        GSettingsKeys shell(shellSchema);
        const auto list = withExtension(shell.readStrings(enabledKey), extensionUuid);
        if (!list.empty()) {
            shell.writeStrings(enabledKey, list);
            GSettingsKeys::sync();
        }
        std::filesystem::create_directories(dataFolder, error);
        if (!std::ofstream(marker)) {
            log(LogLevel::warning, "Could not write ", marker.string(),
                ": the GNOME Shell extension is enabled again at the next start");
        }
        if (list.empty()) {
            return false;
        }
        log(LogLevel::warning, "Enabled the GNOME Shell extension ", extensionUuid, " for this user. ",
            signInNotice);
        linuxos::showDesktopNotification("Trackball helper: GNOME Shell extension enabled", signInNotice);
        return true;
    } catch (const std::exception& error) {
        log(LogLevel::error, "Could not enable the GNOME Shell extension ", extensionUuid, ": ",
            error.what());
        return false;
    }
}

} // namespace obx::gnome
