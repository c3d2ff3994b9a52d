#include "settings/SettingsPaths.h"

#include "actions/PlatformServicesImpl.h"

namespace obx {

std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string pathToUtf8(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path settingsFolder() {
    return pathFromUtf8(platformServices().dataFolder());
}

std::filesystem::path settingsFilePath() {
    return settingsFolder() / settingsFileName;
}

std::filesystem::path legacySettingsFilePath() {
    return settingsFolder() / legacySettingsFileName;
}

} // namespace obx
