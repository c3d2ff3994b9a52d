// The operations on the device entries and their profile tables.

#include "actions/LowerCase.h"
#include "base/Log.h"
#include "settings/Settings.h"
#include "settings/Utf16Text.h"

namespace obx {

namespace {

const ApplicationConfig& profileOf(const ProfileTable& profiles, const std::string& identifier) {
    auto found = profiles.find(identifier);
    if (found == profiles.end()) {
        throw std::runtime_error("Application profile does not exist");
    }
    return found->second;
}

} // namespace

ProfileTable& Settings::profilesOf(std::uint16_t device) {
    return const_cast<ProfileTable&>(std::as_const(*this).profilesOf(device));
}

const ProfileTable& Settings::profilesOf(std::uint16_t device) const {
    auto found = devices.find(device);
    if (found == devices.end()) {
        throw std::runtime_error("Device does not exist");
    }
    return found->second;
}

bool Settings::ensureDevice(std::uint16_t device) {
    if (devices.contains(device)) {
        return false;
    }
    // Built before the entry exists: a global profile that cannot be built
    // (no action macros) must not leave an entry without profiles behind.
    // Moving the table keeps its nodes, so the profile's address holds.
    ProfileTable profiles;
    profiles.try_emplace(globalProfileId, this, globalProfileId, "");
    devices.emplace(device, std::move(profiles));
    return true;
}

void Settings::addDevice(std::uint16_t device) {
    if (ensureDevice(device)) {
        saveOrLog();
    }
}

std::vector<std::uint16_t> Settings::deviceIds() const {
    std::vector<std::uint16_t> ids;
    for (auto& [id, profiles] : devices) {
        ids.push_back(id);
    }
    return ids;
}

std::vector<std::string> Settings::appIdentifiers(std::uint16_t device) const {
    std::vector<std::string> identifiers;
    if (auto found = devices.find(device); found != devices.end()) {
        for (auto& [identifier, profile] : found->second) {
            identifiers.push_back(identifier);
        }
    }
    return identifiers;
}

const std::string& Settings::appName(std::uint16_t device, const std::string& identifier) const {
    return profileOf(profilesOf(device), identifier).name;
}

DeviceConfig& Settings::findConfig(const std::optional<std::string>& identifier, std::uint16_t device,
                                   bool fallback) {
    auto entry = devices.find(device);
    if (entry == devices.end()) {
        throw std::runtime_error("Setting for device does not exist");
    }
    auto& profiles = entry->second;
    auto found = profiles.find(identifier.value_or(globalProfileId));
    if (found == profiles.end() && fallback) {
        found = profiles.find(globalProfileId);
    }
    if (found == profiles.end()) {
        throw std::runtime_error("Matching config for give process/device name not found!");
    }
    return found->second.config;
}

DeviceConfig& Settings::findConfig(const std::u16string& identifier, std::uint16_t device) {
    return findConfig(utf16ToUtf8(identifier), device, true);
}

std::string Settings::findProcessProfile(std::uint16_t device, const std::string& executablePath) const {
    auto entry = devices.find(device);
    if (entry == devices.end()) {
        return "";
    }
    auto identifier = lowerCase(executablePath);
    return entry->second.contains(identifier) ? identifier : globalProfileId;
}

std::u16string Settings::findProcessProfile(std::uint16_t device,
                                            const std::u16string& executablePath) const {
    return utf8ToUtf16(findProcessProfile(device, utf16ToUtf8(executablePath)));
}

void Settings::createApp(std::uint16_t device, const std::string& name, const std::string& executablePath,
                         ProfileOrigin origin) {
    const auto identifier = lowerCase(executablePath);
    auto& profiles = profilesOf(device);
    log(LogLevel::debug, "Settings::createApp - ", "appName: ", name, ", binaryPath: ", identifier);
    if (profiles.contains(identifier)) {
        log(LogLevel::debug, "\tconfiguration already exists");
        throw std::runtime_error("Application configuration already exists");
    }
    auto global = profiles.find(globalProfileId);
    if (global == profiles.end()) {
        throw std::runtime_error("Device has no global application profile to derive from");
    }
    auto config = origin == ProfileOrigin::global ? global->second.config.copiedProfileConfig()
                                                  : global->second.config.newProfileConfig();
    auto& profile = profiles
                        .try_emplace(identifier, global->second.owner, name, global->second.fileName,
                                     DeviceConfig::Blank{})
                        .first->second;
    profile.config = config;
    profile.config.attach(&profile);
    save();
}

void Settings::deleteApp(std::uint16_t device, const std::string& identifier) {
    const auto lowered = lowerCase(identifier);
    if (lowered == globalProfileId) {
        throw std::runtime_error("Cannot delete global application profile");
    }
    auto& profiles = profilesOf(device);
    log(LogLevel::debug, "Settings::deleteApp - ", ", identifier: ", lowered);
    if (profiles.erase(lowered) == 0) {
        log(LogLevel::debug, "\tapp not found");
        throw std::runtime_error("Application profile does not exist");
    }
    save();
}

} // namespace obx
