#pragma once

// The base of every action kind, the process-wide registry of kinds and
// createAction, which builds one action from its JSON object (no macros).

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace obx {

class DeviceConfig;
class IObxDevice;

// A field of an action's JSON form that the kind refuses: unknown, of the
// wrong type or out of range. Unlike the library's errors, which only mean
// that another way of building may still work, it is the answer to the
// client, with the field named.
class ActionFieldError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

class ActionBase {
public:
    virtual ~ActionBase() = default;

    // Reads the kind's fields; errors are the JSON library's exceptions or
    // ActionFieldError.
    virtual void fromJson(const nlohmann::json& json);
    // Writes the kind's fields into an existing object.
    virtual void toJson(nlohmann::json& json) const;
    // Runs the action for a press (down) or a release of a trackball button.
    virtual void execute(IObxDevice& device, bool down) = 0;
    // Runs the action whole, a press and then its release, all in the helper:
    // what a gesture does with the action it chose. A kind that leaves part of
    // its work to the driver's button map does all of it here.
    virtual void runWhole(IObxDevice& device);

    const std::string& name() const { return name_; }
    DeviceConfig* owner() const { return owner_; }
    // A kind that holds actions of its own re-points them too.
    virtual void setOwner(DeviceConfig* owner) { owner_ = owner; }

protected:
    explicit ActionBase(std::string name) : name_(std::move(name)) {}

private:
    DeviceConfig* owner_ = nullptr;
    std::string name_;
};

using ActionPtr = std::shared_ptr<ActionBase>;
using ActionCreator = std::function<std::unique_ptr<ActionBase>()>;

// Adds or replaces the creator of a kind name.
void registerActionKind(const std::string& name, ActionCreator creator);

// Builds one action from json with config as its owner. Throws the JSON
// library's errors, or std::runtime_error("Unknown action name").
ActionPtr createAction(DeviceConfig* config, const nlohmann::json& json);

} // namespace obx
