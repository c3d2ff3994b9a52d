// The JSON forms of the configuration model, as the settings file and the
// whole-settings requests carry them.

#include "actions/JsonReaders.h"
#include "actions/Modifiers.h"
#include "settings/Settings.h"

#include <algorithm>
#include <stdexcept>

namespace obx {

using nlohmann::json;

json snippetToJson(const Snippet& snippet) {
    return {{"content", snippet.content}, {"label", snippet.label}};
}

namespace {

Snippet snippetFromJson(const json& object) {
    Snippet snippet;
    snippet.label = readString(object, "label", "");
    snippet.content = object.at("content").get<std::string>();
    return snippet;
}

} // namespace

// ---- DeviceConfig -----------------------------------------------------------

json DeviceConfig::toJson() const {
    json commands = json::array();
    for (auto& [mask, text] : commands_) {
        commands.push_back(json::array({mask, json::parse(text)}));
    }
    json snippets = json::array();
    for (auto& snippet : snippets_) {
        snippets.push_back(snippetToJson(snippet));
    }
    return {
        {"id", id},
        {"speed", speed},
        {"acceleration", acceleration},
        {"accelerationRate", accelerationRate},
        {"slowModifiers", modifiersToString(slowModifiers)},
        {"slowDivider", slowDivider},
        {"snapModifiers", modifiersToString(snapModifiers)},
        {"inertialScroll", inertialScroll},
        {"scrollInvert", scrollInvert},
        {"scrollLines", scrollLines},
        {"inertialScrollTimer", inertialScrollTimer},
        {"inertialScrollFactor", inertialScrollFactor},
        {"inertialScrollNullSteps", inertialScrollNullSteps},
        {"commands", std::move(commands)},
        {"snippets", std::move(snippets)},
    };
}

void DeviceConfig::fromJson(const json& object) {
    // A number of any JSON numeric type (fractions cut toward zero) or a
    // boolean; the library refuses strings.
    auto number = [&](const char* key) { return clampedInt<std::int32_t>(object.at(key)); };
    auto boolean = [&](const char* key) { return object.at(key).get<bool>(); };
    auto modifiers = [&](const char* key) { return modifiersFromString(object.at(key).get<std::string>()); };

    id = number("id");
    speed = number("speed");
    acceleration = boolean("acceleration");
    accelerationRate = number("accelerationRate");
    slowModifiers = modifiers("slowModifiers");
    slowDivider = number("slowDivider");
    snapModifiers = modifiers("snapModifiers");
    inertialScroll = boolean("inertialScroll");
    scrollInvert = boolean("scrollInvert");
    scrollLines = number("scrollLines");
    inertialScrollTimer = number("inertialScrollTimer");
    inertialScrollFactor = number("inertialScrollFactor");
    inertialScrollNullSteps = number("inertialScrollNullSteps");
    scrollLines = std::max(scrollLines, 1);

    std::map<std::uint32_t, json> read;
    for (auto& element : object.at("commands").get_ref<const json::array_t&>()) {
        // json::at refuses elements that are no array with the library's own error.
        read.emplace(clampedInt<std::uint32_t>(element.at(0)), element.at(1));
    }
    commands_.clear();
    for (auto& [mask, action] : read) {
        commands_[mask] = action.dump();
    }
    rebuildActions();

    if (auto found = object.find("snippets"); found != object.end()) {
        auto& elements = found->get_ref<const json::array_t&>();
        snippets_ = SnippetSlots{};
        for (std::size_t i = 0; i < elements.size(); ++i) {
            auto snippet = snippetFromJson(elements[i]);
            if (i < snippetSlotCount) {
                snippets_[i] = std::move(snippet);
            }
        }
    }
    updateChordMask();
}

// ---- ApplicationConfig ----------------------------------------------------------

ApplicationConfig::ApplicationConfig(Settings* owner, std::string name, std::string fileName)
    : owner(owner), fileName(std::move(fileName)), name(std::move(name)), config(this) {}

ApplicationConfig::ApplicationConfig(Settings* owner, std::string name, std::string fileName,
                                     DeviceConfig::Blank)
    : owner(owner), fileName(std::move(fileName)), name(std::move(name)),
      config(this, DeviceConfig::Blank{}) {}

ApplicationConfig::ApplicationConfig(const ApplicationConfig& other)
    : owner(other.owner), fileName(other.fileName), name(other.name), config(other.config) {
    config.attach(this);
}

ApplicationConfig& ApplicationConfig::operator=(const ApplicationConfig& other) {
    owner = other.owner;
    fileName = other.fileName;
    name = other.name;
    config = other.config;
    config.attach(this);
    return *this;
}

json ApplicationConfig::toJson() const {
    return {{"name", name}, {"fileName", fileName}, {"config", config.toJson()}};
}

void ApplicationConfig::fromJson(const json& object) {
    name = object.at("name").get<std::string>();
    fileName = object.at("fileName").get<std::string>();
    config.fromJson(object.at("config"));
    config.attach(this);
}

// ---- Settings ----------------------------------------------------------------

Settings::Settings(const Settings& other)
    : devices(other.devices), platform(other.platform), timestamp(other.timestamp),
      versionMajor(other.versionMajor), versionMinor(other.versionMinor), trayIcon(other.trayIcon) {
    adoptProfiles();
}

Settings& Settings::operator=(const Settings& other) {
    if (this != &other) {
        devices = other.devices;
        platform = other.platform;
        timestamp = other.timestamp;
        versionMajor = other.versionMajor;
        versionMinor = other.versionMinor;
        trayIcon = other.trayIcon;
        adoptProfiles();
    }
    return *this;
}

void Settings::adoptProfiles() {
    for (auto& [id, profiles] : devices) {
        for (auto& [identifier, profile] : profiles) {
            profile.owner = this;
            profile.config.attach(&profile);
        }
    }
}

json Settings::toJson() const {
    json entries = json::array();
    for (auto& [id, profiles] : devices) {
        json table = json::object();
        for (auto& [identifier, profile] : profiles) {
            table[identifier] = profile.toJson();
        }
        entries.push_back(json::array({id, std::move(table)}));
    }
    return {{"devices", std::move(entries)}, {"versionMajor", versionMajor}, {"versionMinor", versionMinor},
            {"platform", platform},          {"timestamp", timestamp},       {"trayIcon", trayIcon}};
}

void Settings::fromJson(const json& object) {
    if (object.at("platform").get<std::string>() != platform) {
        throw std::runtime_error("Platform mismatch");
    }
    const auto fileMajor = clampedInt<std::uint32_t>(object.at("versionMajor"));
    const auto fileMinor = clampedInt<std::uint32_t>(object.at("versionMinor"));
    if (fileMajor > versionMajor || (fileMajor == versionMajor && fileMinor > versionMinor)) {
        throw std::runtime_error("Cannot load from a newer settings version");
    }
    timestamp = clampedInt<std::int64_t>(object.at("timestamp"));
    trayIcon = readBool(object, "trayIcon", true);

    devices.clear();
    for (auto& entry : object.at("devices").get_ref<const json::array_t&>()) {
        const auto id = clampedInt<std::uint16_t>(entry.at(0));
        ProfileTable profiles;
        for (auto& [identifier, value] : entry.at(1).get_ref<const json::object_t&>()) {
            profiles.try_emplace(identifier, this, "", "", DeviceConfig::Blank{})
                .first->second.fromJson(value);
        }
        devices.emplace(id, std::move(profiles)); // the first entry of an id wins
    }
    adoptProfiles();
}

} // namespace obx
