#pragma once

// Where the settings live: the folder that the platform services name.

#include <filesystem>
#include <string>

namespace obx {

inline constexpr const char* settingsFileName = "ObxSettings.json";
inline constexpr const char* legacySettingsFileName = "ObxSettings.xml";

// Paths travel as UTF-8 text whatever the system's narrow encoding (on
// Windows a path's narrow form is not UTF-8 everywhere).
std::filesystem::path pathFromUtf8(const std::string& text);
std::string pathToUtf8(const std::filesystem::path& path);

// Empty when the system cannot tell: the files are then relative to the
// working folder.
std::filesystem::path settingsFolder();
std::filesystem::path settingsFilePath();
std::filesystem::path legacySettingsFilePath();

} // namespace obx
