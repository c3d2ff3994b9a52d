#include "actions/GestureAction.h"

#include "actions/ActionFactory.h"
#include "actions/JsonReaders.h"
#include "base/Log.h"
#include "driver/shared/ObxControl.h"

#include <algorithm>

namespace obx {

namespace {

using nlohmann::json;

// The field of each OBX_GESTURE_* code, in code order from 1.
constexpr std::array<std::string_view, 9> slotNames{"up",      "down",      "left",    "right",   "tap",
                                                    "wheelUp", "wheelDown", "panLeft", "panRight"};
static_assert(OBX_GESTURE_UP == 1 && OBX_GESTURE_RIGHT == 4 && OBX_GESTURE_TAP == 5 &&
                  OBX_GESTURE_WHEEL_UP == 6 && OBX_GESTURE_PAN_RIGHT == 9,
              "slot names follow the direction codes");

constexpr std::size_t firstWheelSlot = OBX_GESTURE_WHEEL_UP - 1;
constexpr std::size_t tapSlot = OBX_GESTURE_TAP - 1;

constexpr std::array<std::pair<std::string_view, ActionGesture::Mode>, 3> modeNames{
    {{"none", ActionGesture::Mode::none},
     {"once", ActionGesture::Mode::once},
     {"repeat", ActionGesture::Mode::repeat}}};

bool isTravel(std::size_t slot) {
    return slot < tapSlot;
}

[[noreturn]] void refuse(const std::string& why) {
    throw ActionFieldError("Gesture " + why);
}

std::string fieldList() {
    std::string list = "\"mode\", \"threshold\"";
    for (const auto name : slotNames) {
        list += ", \"" + std::string(name) + "\"";
    }
    return list;
}

ActionPtr nestedAction(const ActionFactory& factory, DeviceConfig* owner, std::string_view field,
                       const json& entry) {
    const std::string named = "\"" + std::string(field) + "\"";
    const auto command = entry.is_object() ? entry.find("command") : entry.end();
    if (!entry.is_object() || command == entry.end() || !command->is_string()) {
        refuse(named + " is no action object with a \"command\" text");
    }
    ActionPtr action;
    try {
        action = factory.create(owner, entry);
    } catch (const ActionFieldError& error) {
        refuse(named + ": " + error.what());
    } catch (const std::exception&) {
        refuse(named + " has the action " + entry.dump() + ", which cannot be built");
    }
    // A gesture inside one could never be told apart from its holder's; a
    // profile's fallback is chosen for a whole button, not for a direction.
    if (action->name() == ActionGesture::kind || action->name() == "useGlobal") {
        refuse(named + " cannot hold a " + action->name() + " action");
    }
    return action;
}

} // namespace

void ActionGesture::fromJson(const json& json) {
    for (const auto& [key, value] : json.items()) {
        if (key != "command" && key != "mode" && key != "threshold" &&
            std::find(slotNames.begin(), slotNames.end(), key) == slotNames.end()) {
            refuse("has no field \"" + key + "\" (it takes " + fieldList() + ")");
        }
    }
    if (const auto threshold = json.find("threshold"); threshold != json.end()) {
        if (!isWholeNumberIn(*threshold, minThreshold, maxThreshold)) {
            refuse("has \"threshold\" " + threshold->dump() + ", not a whole number from " +
                   std::to_string(minThreshold) + " to " + std::to_string(maxThreshold));
        }
        threshold_ = threshold->get<std::uint16_t>();
    }
    const ActionFactory factory;
    bool travels = false;
    bool any = false;
    for (std::size_t slot = 0; slot < slotCount; ++slot) {
        if (const auto entry = json.find(slotNames[slot]); entry != json.end()) {
            // Without an owner yet: createAction sets it afterwards, through setOwner.
            actions_[slot] = nestedAction(factory, nullptr, slotNames[slot], *entry);
            travels = travels || isTravel(slot);
            any = true;
        }
    }
    if (!any) {
        refuse("needs at least one of \"up\", \"down\", \"left\", \"right\", \"wheelUp\", \"wheelDown\", "
               "\"panLeft\", \"panRight\", \"tap\"");
    }
    mode_ = travels ? Mode::once : Mode::none;
    if (const auto mode = json.find("mode"); mode != json.end()) {
        const auto named = std::find_if(modeNames.begin(), modeNames.end(), [&](const auto& entry) {
            return mode->is_string() && mode->get_ref<const std::string&>() == entry.first;
        });
        if (named == modeNames.end()) {
            refuse("has \"mode\" " + mode->dump() + ", not \"once\", \"repeat\" or \"none\"");
        }
        mode_ = named->second;
    }
    // Under "none" a direction's action could never run; under "once" or
    // "repeat" without one the ball would only stop moving the pointer.
    if (mode_ == Mode::none && travels) {
        refuse("has \"mode\" \"none\", in which the ball moves the pointer, and an action for its travel");
    }
    if (mode_ != Mode::none && !travels) {
        refuse("has \"mode\" \"" + std::string(modeNames[static_cast<std::size_t>(mode_)].first) +
               "\" but none of \"up\", \"down\", \"left\", \"right\"");
    }
}

void ActionGesture::toJson(json& json) const {
    json["mode"] = modeNames[static_cast<std::size_t>(mode_)].first;
    json["threshold"] = threshold_;
    for (std::size_t slot = 0; slot < slotCount; ++slot) {
        if (const auto& action = actions_[slot]) {
            nlohmann::json nested{{"command", action->name()}};
            action->toJson(nested);
            json[std::string(slotNames[slot])] = std::move(nested);
        }
    }
}

void ActionGesture::execute(IObxDevice& device, bool down) {
    if (down && actions_[tapSlot]) {
        log(LogLevel::debug, "Gesture action without the driver's gestures: the tap");
        actions_[tapSlot]->runWhole(device);
    }
}

void ActionGesture::setOwner(DeviceConfig* owner) {
    ActionBase::setOwner(owner);
    for (const auto& action : actions_) {
        if (action) {
            action->setOwner(owner);
        }
    }
}

void ActionGesture::perform(IObxDevice& device, std::uint8_t direction, std::uint8_t steps) const {
    if (direction == 0 || direction > slotCount) {
        log(LogLevel::debug, "Gesture event of unknown direction ", int{direction});
        return;
    }
    const std::size_t slot = direction - 1u;
    const auto& action = actions_[slot];
    log(LogLevel::debug, "Gesture action - ", slotNames[slot], " x", int{steps}, action ? "" : ": nothing");
    if (!action) {
        return;
    }
    const int times = slot >= firstWheelSlot ? steps : 1;
    for (int i = 0; i < times; ++i) {
        action->runWhole(device);
    }
}

bool ActionGesture::takesWheel() const {
    return std::any_of(actions_.begin() + firstWheelSlot, actions_.end(),
                       [](const ActionPtr& action) { return action != nullptr; });
}

bool ActionGesture::hasTap() const {
    return actions_[tapSlot] != nullptr;
}

std::string_view ActionGesture::directionName(std::uint8_t direction) {
    return direction == 0 || direction > slotCount ? std::string_view() : slotNames[direction - 1u];
}

} // namespace obx
