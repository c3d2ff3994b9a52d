#include "settings/LegacyMigration.h"

#include "actions/LowerCase.h"
#include "base/Log.h"
#include "platform/ProgramPath.h"
#include "settings/LegacyCommands.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"
#include "settings/Utf16Text.h"

#include <algorithm>
#include <array>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

namespace obx::legacy {

namespace {

namespace fs = std::filesystem;
using boost::property_tree::ptree;
using nlohmann::json;

// Configuration ids of the eight models that the legacy settings number
// 1 to 8. Models 4 and 5 are two versions of one model that share its
// settings.
constexpr std::array<std::uint16_t, 8> legacyModelConfigurationIds = {
    8209, // legacy model 1
    8210, // legacy model 2
    8211, // legacy model 3
    8212, // legacy model 4
    8212, // legacy model 5
    8214, // legacy model 6
    8215, // legacy model 7
    8216, // legacy model 8
};

std::uint16_t configurationIdOf(int legacyId) {
    if (legacyId >= 1 && legacyId <= static_cast<int>(legacyModelConfigurationIds.size())) {
        return legacyModelConfigurationIds[static_cast<std::size_t>(legacyId - 1)];
    }
    if (legacyId <= 0 || legacyId > 0xFFFF) {
        throw std::runtime_error("invalid device id");
    }
    return static_cast<std::uint16_t>(legacyId);
}

// ---- attribute values -----------------------------------------------------

std::optional<std::string> attribute(const ptree& element, const std::string& name) {
    auto attributes = element.find("<xmlattr>");
    if (attributes == element.not_found()) {
        return std::nullopt;
    }
    auto found = attributes->second.find(name);
    if (found == attributes->second.not_found()) {
        return std::nullopt;
    }
    return found->second.data();
}

std::string textAttribute(const ptree& element, const std::string& name, const std::string& fallback = "") {
    return attribute(element, name).value_or(fallback);
}

// The decimal number, with an optional minus sign, at the start of the text
// after white space; 0 when there is none or it does not fit.
int leadingNumber(const std::string& text) {
    auto begin = std::find_if(text.begin(), text.end(), [](unsigned char c) { return !std::isspace(c); });
    int value = 0;
    auto [end, error] =
        std::from_chars(text.data() + (begin - text.begin()), text.data() + text.size(), value);
    return error == std::errc() ? value : 0;
}

int numberAttribute(const ptree& element, const std::string& name, int fallback = 0) {
    auto text = attribute(element, name);
    return text ? leadingNumber(*text) : fallback;
}

bool flagAttribute(const ptree& element, const std::string& name) {
    auto text = attribute(element, name);
    if (!text) {
        return false;
    }
    const auto lowered = lowerCase(*text);
    return lowered != "false" && lowered != "0";
}

// The first child named first and every element after it; attributes,
// comments and text are no elements.
template <typename Visit>
void forEachElementFrom(const ptree& parent, const std::string& first, Visit visit) {
    bool started = false;
    for (auto& [name, child] : parent) {
        if (name.starts_with('<')) {
            continue;
        }
        started = started || name == first;
        if (started) {
            visit(child);
        }
    }
}

// ---- conversion -----------------------------------------------------------

// 5 x "speed" or 25 x "acceleration" on the scale 1 to 100.
std::int32_t percentage(std::int64_t product) {
    if (product == 0) {
        return 1;
    }
    return product < 0 || product > 100 ? 100 : static_cast<std::int32_t>(product);
}

std::uint32_t modifierBits(int legacy) {
    return static_cast<std::uint32_t>(legacy) & 0x55;
}

// Button element names in the order they are converted.
std::vector<std::string> buttonNames() {
    std::vector<std::string> names = {"ButtonChord1", "ButtonChord2"};
    for (int n = 1; n <= 31; ++n) {
        names.push_back("Button" + std::to_string(n));
    }
    return names;
}

std::uint32_t buttonMask(const std::string& elementName) {
    const auto name = lowerCase(elementName);
    if (name == "buttonchord1") {
        return 0x3;
    }
    if (name == "buttonchord2") {
        return 0xC;
    }
    if (name.starts_with("button")) {
        const int n = leadingNumber(name.substr(6));
        return n >= 1 && n <= 31 ? 1u << (n - 1) : 0;
    }
    return 0;
}

LegacyAction readAction(const ptree& element) {
    LegacyAction action;
    action.command = numberAttribute(element, "command");
    action.argument = numberAttribute(element, "argument");
    action.modifiers = numberAttribute(element, "modifiers");
    action.repeat = numberAttribute(element, "repeat");
    if (action.command == 64) {
        action.name = textAttribute(element, "name");
        action.path = textAttribute(element, "path");
    }
    if (action.command == 61) {
        if (auto snippet = element.find("Snippet"); snippet != element.not_found()) {
            action.snippet =
                Snippet{textAttribute(snippet->second, "string"), textAttribute(snippet->second, "label")};
        }
    }
    return action;
}

// The commands of the buttons before a failing one are stored before the
// failure goes on.
void convertButtons(const ptree& device, DeviceConfig& config, const KeystrokeMacroIndex& index) {
    std::map<std::uint32_t, json> converted;
    std::exception_ptr failure;
    try {
        for (auto& name : buttonNames()) {
            const auto mask = buttonMask(name);
            auto button = device.find(name);
            if (mask == 0 || button == device.not_found()) {
                continue;
            }
            auto action = button->second.find("Action");
            if (action == button->second.not_found()) {
                continue;
            }
            if (auto command = convertLegacyAction(readAction(action->second), index)) {
                converted[mask] = std::move(*command);
            }
        }
    } catch (const std::exception&) {
        failure = std::current_exception();
    }
    config.mergeCommands(converted);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void convertDevice(Settings& settings, const std::string& executable, const std::string& name,
                   const ptree& device, const KeystrokeMacroIndex& index) {
    const auto id = configurationIdOf(numberAttribute(device, "id"));
    settings.addDevice(id);
    const auto identifier = lowerCase(executable);
    const auto identifiers = settings.appIdentifiers(id);
    if (std::find(identifiers.begin(), identifiers.end(), identifier) == identifiers.end()) {
        settings.createApp(id, name, executable);
    }
    auto& config = settings.findConfig(identifier, id, false);
    config.speed = percentage(5 * static_cast<std::int64_t>(numberAttribute(device, "speed", 10)));
    config.accelerationRate =
        percentage(25 * static_cast<std::int64_t>(numberAttribute(device, "acceleration")));
    config.scrollInvert = flagAttribute(device, "scrollingInvert");
    config.inertialScroll = flagAttribute(device, "inertialscroll");
    config.snapModifiers = modifierBits(numberAttribute(device, "snapModifiers"));
    config.slowModifiers = modifierBits(numberAttribute(device, "slowDownModifiers"));
    convertButtons(device, config, index);
}

void convertApplication(Settings& settings, const ptree& application, const KeystrokeMacroIndex& index) {
    const auto executable = textAttribute(application, "executable", globalProfileId);
    const auto name = textAttribute(application, "name");
    forEachElementFrom(application, "Device", [&](const ptree& device) {
        try {
            convertDevice(settings, executable, name, device, index);
        } catch (const std::exception&) {
            // The rest of this device is skipped; the next one follows.
        }
    });
}

json readMacros(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + pathToUtf8(file));
    }
    return json::parse(in);
}

ptree readLegacyDocument(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + pathToUtf8(file));
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::istringstream text(utf16ToUtf8(decodeUtf16Bytes(bytes.str())));
    ptree document;
    boost::property_tree::read_xml(text, document);
    return document;
}

void convertFile(const fs::path& macrosFile) {
    const KeystrokeMacroIndex index(readMacros(macrosFile));
    const auto document = readLegacyDocument(legacySettingsFilePath());
    auto root = document.find("ObxSettings");
    if (root == document.not_found()) {
        throw BadSettingsFile();
    }
    Settings settings;
    forEachElementFrom(root->second, "Application", [&](const ptree& application) {
        log(LogLevel::info, "Loading from legacy application node: ",
            textAttribute(application, "executable", globalProfileId));
        try {
            convertApplication(settings, application, index);
        } catch (const std::exception&) {
            log(LogLevel::error, "Error loading from legacy application node");
        }
    });
    settings.save();
}

} // namespace

void migrate() {
    migrate(runningExecutablePath().parent_path() / "obxactions.json");
}

void migrate(const fs::path& macrosFile) {
    try {
        if (fs::exists(settingsFilePath()) || !fs::exists(legacySettingsFilePath())) {
            return;
        }
        convertFile(macrosFile);
    } catch (const std::exception&) {
        log(LogLevel::warning, "Error migrating old settings, using default settings..");
    }
}

} // namespace obx::legacy
