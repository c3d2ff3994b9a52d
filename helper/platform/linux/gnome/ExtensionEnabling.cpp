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

// The uuids added before; an empty marker is an earlier helper's, which had
// one copy to add.
std::vector<std::string> addedBefore(const std::filesystem::path& marker) {
    std::ifstream input(marker);
    if (!input) {
        return {};
    }
    std::vector<std::string> uuids;
    for (std::string line; std::getline(input, line) && uuids.size() < std::size(extensionUuids);) {
        if (!line.empty()) {
            uuids.push_back(line);
        }
    }
    return uuids.empty() ? std::vector<std::string>{extensionUuid} : uuids;
}

std::string joined(const std::vector<std::string>& uuids) {
    std::string text;
    for (const auto& uuid : uuids) {
        text += (text.empty() ? "" : ", ") + uuid;
    }
    return text;
}

} // namespace

std::vector<std::string> withExtensions(const std::vector<std::string>& enabled,
                                        const std::vector<std::string>& uuids) {
    auto list = enabled;
    for (const auto& uuid : uuids) {
        if (std::find(list.begin(), list.end(), uuid) == list.end()) {
            list.push_back(uuid);
        }
    }
    return list.size() == enabled.size() ? std::vector<std::string>{} : list;
}

bool enableShellExtension(const std::filesystem::path& dataFolder) {
    const auto marker = dataFolder / markerName;
    auto added = addedBefore(marker);
    std::vector<std::string> missing;
    for (const char* uuid : extensionUuids) {
        if (std::find(added.begin(), added.end(), uuid) == added.end()) {
            missing.emplace_back(uuid);
        }
    }
    if (missing.empty()) {
        return false;
    }
    try {
        GSettingsKeys shell(shellSchema);
        const auto list = withExtensions(shell.readStrings(enabledKey), missing);
        if (!list.empty()) {
            shell.writeStrings(enabledKey, list);
            GSettingsKeys::sync();
        }
        std::error_code error;
        std::filesystem::create_directories(dataFolder, error);
        added.insert(added.end(), missing.begin(), missing.end());
        std::ofstream output(marker, std::ios::trunc);
        for (const auto& uuid : added) {
            output << uuid << '\n';
        }
        if (!output.flush()) {
            log(LogLevel::warning, "Could not write ", marker.string(),
                ": the GNOME Shell extension is enabled again at the next start");
        }
        if (list.empty()) {
            return false;
        }
        log(LogLevel::warning, "Enabled the GNOME Shell extension ", joined(missing), " for this user. ",
            signInNotice);
        linuxos::showDesktopNotification("Trackball helper: GNOME Shell extension enabled", signInNotice);
        return true;
    } catch (const std::exception& error) {
        log(LogLevel::error, "Could not enable the GNOME Shell extension ", joined(missing), ": ",
            error.what());
        return false;
    }
}

} // namespace obx::gnome
