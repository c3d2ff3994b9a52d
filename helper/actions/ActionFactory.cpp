#include "actions/ActionFactory.h"

#include "base/Log.h"
#include "platform/ProgramPath.h"
#include "settings/SettingsPaths.h"

#include <fstream>
#include <iterator>
#include <mutex>

namespace obx {

namespace {

const char* const macrosFileName = "obxactions.json";

using Macros = std::unordered_map<std::string, nlohmann::json>;

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + pathToUtf8(file));
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A missing or empty document is a file without macros; anything else that
// is not an object cannot be a set of macros.
Macros parseMacros(const std::string& text) {
    const auto document = nlohmann::json::parse(text);
    if (document.is_null() || (document.is_array() && document.empty())) {
        return {};
    }
    if (!document.is_object()) {
        throw std::runtime_error(std::string("the document is no object but ") + document.type_name());
    }
    Macros macros;
    for (const auto& [name, macro] : document.items()) {
        macros.emplace(name, macro);
    }
    return macros;
}

// The macros of the file last parsed, with the bytes they were parsed from.
struct ParsedMacros {
    std::filesystem::path file;
    std::string text;
    std::shared_ptr<const Macros> macros;
};

std::shared_ptr<const Macros> macrosOf(const std::filesystem::path& file, std::string text) {
    static std::mutex mutex;
    static ParsedMacros last;
    std::lock_guard guard(mutex);
    if (!last.macros || last.file != file || last.text != text) {
        auto macros = std::make_shared<const Macros>(parseMacros(text));
        last = {file, std::move(text), std::move(macros)};
    }
    return last.macros;
}

std::shared_ptr<const Macros> loadMacros(const std::filesystem::path& file) {
    if (!std::filesystem::exists(file)) {
        throw MissingActionMacrosDataFile();
    }
    try {
        return macrosOf(file, readText(file));
    } catch (const std::exception& error) {
        log(LogLevel::error, "Error loading action macros definition file: ", error.what());
        throw ActionFactoryInitError();
    }
}

// Errors of one way of building only mean that the other way may still work;
// a refused field is the answer.
template <typename Build>
ActionPtr tryBuild(Build build) {
    try {
        return build();
    } catch (const ActionFieldError&) {
        throw;
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace

ActionFactory::ActionFactory() : ActionFactory(runningExecutablePath().parent_path() / macrosFileName) {}

ActionFactory::ActionFactory(const std::filesystem::path& macrosFile) : macros_(loadMacros(macrosFile)) {}

ActionPtr ActionFactory::create(DeviceConfig* config, const nlohmann::json& entry) const {
    const auto command = entry.at("command").get<std::string>();
    const auto params = entry.contains("params") ? entry.at("params") : nlohmann::json();

    ActionPtr action;
    if (const auto macro = macros_->find(command); macro != macros_->end()) {
        action = tryBuild([&] {
            auto merged = macro->second;
            if (!params.is_null()) {
                merged.update(params);
            }
            return createAction(config, merged);
        });
    }
    if (!action) {
        action = tryBuild([&] { return createAction(config, entry); });
    }
    if (!action) {
        log(LogLevel::error, "Error creating action handler for command: ", command, ", args: ", params);
        throw std::runtime_error("Error creating action handler!");
    }
    return action;
}

} // namespace obx
