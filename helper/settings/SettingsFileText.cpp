#include "settings/SettingsFileText.h"

#include "settings/Settings.h"

namespace obx {

namespace {

using nlohmann::json;

// A profile's member stands in its table (fourth level) of a device entry
// (third) of "devices" (second) of the document.
constexpr std::size_t memberIndent = 8;

// text as dump(2) writes it indent places further in. JSON strings carry
// their line breaks escaped, so every line break of text is one between
// elements.
void appendIndented(std::string& out, const std::string& text, std::size_t indent) {
    std::size_t start = 0;
    for (auto end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        out.append(text, start, end + 1 - start);
        out.append(indent, ' ');
        start = end + 1;
    }
    out.append(text, start);
}

void appendMember(std::string& out, const char* name, const json& value, const char* separator) {
    out += "  \"";
    out += name;
    out += "\": ";
    out += value.dump();
    out += separator;
}

} // namespace

const std::string& SettingsFileText::render(const Settings& settings) {
    unread_ = members_.begin();
    next_.clear();
    text_.clear();
    try {
        text_ += "{\n  \"devices\": [";
        const char* deviceSeparator = "\n";
        for (const auto& [device, profiles] : settings.devices) {
            text_ += deviceSeparator;
            deviceSeparator = ",\n";
            text_ += "    [\n      ";
            text_ += std::to_string(device);
            text_ += ",\n      {";
            const char* separator = "\n";
            for (const auto& [identifier, profile] : profiles) {
                text_ += separator;
                separator = ",\n";
                text_ += member(device, identifier, profile).text;
            }
            text_ += profiles.empty() ? "}\n    ]" : "\n      }\n    ]";
        }
        text_ += settings.devices.empty() ? "],\n" : "\n  ],\n";
        appendMember(text_, "platform", settings.platform, ",\n");
        appendMember(text_, "timestamp", settings.timestamp, ",\n");
        appendMember(text_, "trayIcon", settings.trayIcon, ",\n");
        appendMember(text_, "versionMajor", settings.versionMajor, ",\n");
        appendMember(text_, "versionMinor", settings.versionMinor, "\n}");
    } catch (...) {
        // Kept members may have been moved from: none of them can be trusted.
        members_.clear();
        next_.clear();
        text_.clear();
        throw;
    }
    std::swap(members_, next_);
    next_.clear();
    return text_;
}

const SettingsFileText::Member& SettingsFileText::member(std::uint16_t device, const std::string& identifier,
                                                         const ApplicationConfig& profile) {
    // Both run in the order of the settings' maps, so one pass over the kept
    // members finds each profile's.
    const auto key = std::tie(device, identifier);
    while (unread_ != members_.end() && std::tie(unread_->device, unread_->identifier) < key) {
        ++unread_;
    }
    if (unread_ != members_.end() && std::tie(unread_->device, unread_->identifier) == key &&
        unread_->values == profile.storedFields()) {
        next_.push_back(std::move(*unread_++));
        return next_.back();
    }
    Member fresh{device, identifier, valuesOf(profile.storedFields()), std::string(memberIndent, ' ')};
    fresh.text += json(identifier).dump();
    fresh.text += ": ";
    appendIndented(fresh.text, profile.toJson().dump(2), memberIndent);
    next_.push_back(std::move(fresh));
    return next_.back();
}

} // namespace obx
