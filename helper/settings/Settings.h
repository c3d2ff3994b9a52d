#pragma once

// Everything the helper remembers for the user: per trackball model (its
// configuration id) a table of application profiles.

#include "settings/ApplicationConfig.h"

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

namespace obx {

// Identifier ("*" or the lower-cased executable path) to profile.
using ProfileTable = std::map<std::string, ApplicationConfig>;

inline constexpr const char* globalProfileId = "*";

class Settings {
public:
    Settings() = default;
    Settings(const Settings& other);
    Settings& operator=(const Settings& other);

    nlohmann::json toJson() const;
    // Reads a settings object; throws "Platform mismatch" and "Cannot load
    // from a newer settings version" before changing anything.
    void fromJson(const nlohmann::json& json);

    std::map<std::uint16_t, ProfileTable> devices;
    std::string platform = "windows";
    std::int64_t timestamp = 0;
    std::uint32_t versionMajor = 2;
    std::uint32_t versionMinor = 0;
    bool trayIcon = true;

private:
    // Points every profile and configuration at their holders in this object.
    void adoptProfiles();
};

} // namespace obx
