#pragma once

// One application profile of a trackball model: its display name, the
// stored file name and its configuration.

#include "settings/DeviceConfig.h"

#include <nlohmann/json.hpp>
#include <string>

namespace obx {

class Settings;

class ApplicationConfig {
public:
    ApplicationConfig(Settings* owner, std::string name, std::string fileName);
    // A profile whose configuration is filled whole right after (see DeviceConfig::Blank).
    ApplicationConfig(Settings* owner, std::string name, std::string fileName, DeviceConfig::Blank);
    ApplicationConfig(const ApplicationConfig& other);
    ApplicationConfig& operator=(const ApplicationConfig& other);
    virtual ~ApplicationConfig() = default;

    nlohmann::json toJson() const;
    // Every value that toJson writes (see DeviceConfig::storedFields).
    auto storedFields() const { return std::tuple_cat(std::tie(name, fileName), config.storedFields()); }
    void fromJson(const nlohmann::json& json);

    Settings* owner = nullptr;
    std::string fileName;
    std::string name;
    DeviceConfig config;
};

} // namespace obx
