#pragma once

// Everything the helper remembers for the user: per trackball model (its
// configuration id) a table of application profiles.

#include "platform/FileIdentity.h"
#include "settings/ApplicationConfig.h"
#include "settings/ProfileRequests.h"
#include "settings/SettingsFileText.h"

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace obx {

// Identifier ("*" or the lower-cased executable path) to profile.
using ProfileTable = std::map<std::string, ApplicationConfig>;

inline constexpr const char* globalProfileId = "*";

// A settings document without the expected layout.
class BadSettingsFile : public std::runtime_error {
public:
    BadSettingsFile() : std::runtime_error("Bad settings file") {}
};

class Settings {
public:
    Settings() = default;
    // With loadFromFile, the settings file is read (see load).
    explicit Settings(bool loadFromFile);
    Settings(const Settings& other);
    Settings& operator=(const Settings& other);

    nlohmann::json toJson() const;
    // Reads a settings object; throws "Platform mismatch" and "Cannot load
    // from a newer settings version" before changing anything.
    void fromJson(const nlohmann::json& json);

    // Fills this empty object from the settings file, creating the folder and
    // the file when missing. A file the JSON reader refuses is kept beside
    // itself and replaced by empty settings; every other error is raised
    // with the file untouched.
    void load();
    // Stamps the current time and replaces the settings file in one step. A
    // file that cannot be written (a full disk, a folder gone) is logged and
    // left whole as it was, and the save fails with "Error writing settings
    // file", so that a change is never reported as kept when it is not.
    void save();
    // save for the writes that nobody asked for (the first file, a device
    // seen for the first time): a failure is logged, and the helper runs on.
    void saveOrLog();
    // The text that the last save of this object wrote or tried to write;
    // empty before the first.
    const std::string& savedText() const { return fileText_.text(); }
    // The file as the last save of this object left it; empty when that
    // save failed or another program's file took its place at once.
    const std::optional<FileIdentity>& savedFileIdentity() const { return savedIdentity_; }

    // Creates the entry with its global profile when missing; true when it
    // did (the caller decides about saving).
    bool ensureDevice(std::uint16_t device);
    // ensureDevice, saving when an entry was added. A trackball is served
    // even when that save fails: the entry is written by the next save.
    void addDevice(std::uint16_t device);
    std::vector<std::uint16_t> deviceIds() const;
    std::vector<std::string> appIdentifiers(std::uint16_t device) const;
    const std::string& appName(std::uint16_t device, const std::string& identifier) const;

    // The configuration of the profile named byte for byte by identifier
    // (absent: the global one), or of the global profile with fallback.
    DeviceConfig& findConfig(const std::optional<std::string>& identifier, std::uint16_t device,
                             bool fallback);
    DeviceConfig& findConfig(const std::u16string& identifier, std::uint16_t device);
    // The identifier to select for an executable: its lower-cased path when
    // it has a profile, else "*"; "" when the device has no entry.
    std::string findProcessProfile(std::uint16_t device, const std::string& executablePath) const;
    std::u16string findProcessProfile(std::uint16_t device, const std::u16string& executablePath) const;

    // A profile derived from the global one: its pointer and wheel values and
    // its plain single clicks, or with ProfileOrigin::global all of it.
    void createApp(std::uint16_t device, const std::string& name, const std::string& executablePath,
                   ProfileOrigin origin = ProfileOrigin::defaults);
    void deleteApp(std::uint16_t device, const std::string& identifier);

    std::map<std::uint16_t, ProfileTable> devices;
    std::string platform = "windows";
    std::int64_t timestamp = 0;
    std::uint32_t versionMajor = 2;
    std::uint32_t versionMinor = 0;
    bool trayIcon = true;

private:
    // Points every profile and configuration at their holders in this object.
    void adoptProfiles();
    ProfileTable& profilesOf(std::uint16_t device);
    const ProfileTable& profilesOf(std::uint16_t device) const;

    // Not copied with the settings: it only saves work, and a copy starts
    // without it.
    SettingsFileText fileText_;
    std::optional<FileIdentity> savedIdentity_;
};

} // namespace obx
