#pragma once

// Turns a button entry ({"command": macro or kind, "params": ...}) into an
// action, expanding the macros of obxactions.json beside the executable.

#include "actions/ActionBase.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace obx {

class MissingActionMacrosDataFile : public std::exception {
public:
    const char* what() const noexcept override { return "Missing action macros data file"; }
};

class ActionFactoryInitError : public std::exception {
public:
    const char* what() const noexcept override { return "Error initializing action factory"; }
};

class ActionFactory {
public:
    // Loads obxactions.json from the running executable's folder. Every
    // configuration builds its actions with a factory of its own, so the
    // file is read each time but parsed again only when its bytes changed.
    ActionFactory();
    // Loads the given macros file (tests, tools).
    explicit ActionFactory(const std::filesystem::path& macrosFile);

    // Throws ActionFieldError for a refused field of a strictly read form,
    // std::runtime_error("Error creating action handler!") when neither
    // the macro nor a direct build gives an action.
    ActionPtr create(DeviceConfig* config, const nlohmann::json& entry) const;

private:
    // Shared by the factories made for the same content of the same file.
    std::shared_ptr<const std::unordered_map<std::string, nlohmann::json>> macros_;
};

} // namespace obx
