#pragma once

// Where the settings live: the folder that the platform services name.

#include <filesystem>
#include <string>

namespace obx {

inline constexpr const char* settingsFileName = "ObxSettings.json";
inline constexpr const char* legacySettingsFileName = "ObxSettings.xml";

// Paths arrive as UTF-8 text whatever the system's narrow encoding.
std::filesystem::path pathFromUtf8(const std::string& text);

// Empty when the system cannot tell: the files are then relative to the
// working folder.
std::filesystem::path settingsFolder();
std::filesystem::path settingsFilePath();
std::filesystem::path legacySettingsFilePath();

} // namespace obx
