#include "actions/MouseActions.h"

#include "actions/DeviceInput.h"
#include "actions/JsonReaders.h"
#include "actions/LowerCase.h"
#include "actions/Modifiers.h"
#include "base/Log.h"

#include <algorithm>
#include <array>
#include <optional>

namespace obx {

void ActionMouseButton::fromJson(const nlohmann::json& json) {
    button_ = clampedInt<std::int32_t>(json.at("button"));
    modifiers_ = modifiersFromString(readString(json, "modifiers", ""));
}

void ActionMouseButton::toJson(nlohmann::json& json) const {
    json["button"] = button_;
}

std::uint32_t ActionMouseButton::buttonMask() const {
    return mouseButtonMask(button_);
}

void ActionSingleClick::toJson(nlohmann::json& json) const {
    ActionMouseButton::toJson(json);
    json["modifiers"] = modifiersToString(modifiers());
}

void ActionSingleClick::execute(IObxDevice& device, bool down) {
    log(LogLevel::debug, "Single click action - button: ", button(), ", modifiers: ", modifiers());
    if (modifiers() == 0) {
        log(LogLevel::debug, "\tmodifiers == 0, ignoring");
        return;
    }
    pressOrRelease(device, down);
}

void ActionSingleClick::runWhole(IObxDevice& device) {
    log(LogLevel::debug, "Single click action, whole - button: ", button(), ", modifiers: ", modifiers());
    pressOrRelease(device, true);
    pressOrRelease(device, false);
}

void ActionSingleClick::pressOrRelease(IObxDevice& device, bool down) const {
    if (down) {
        pokeModifiers(device, modifiers(), true);
    }
    pokeMouseButton(device, buttonMask(), down);
    if (!down) {
        pokeModifiers(device, modifiers(), false);
    }
}

namespace {

struct HeldDrag {
    std::uint32_t buttonMask;
    std::uint32_t modifiers;
};

// Only the worker thread runs actions, so this needs no lock.
std::optional<HeldDrag>& heldDrag() {
    static std::optional<HeldDrag> held;
    return held;
}

} // namespace

bool ActionDrag::nextPressPresses() {
    return !heldDrag().has_value();
}

void ActionDrag::execute(IObxDevice& device, bool down) {
    log(LogLevel::debug, "Drag action - button: ", button());
    if (!down) {
        return;
    }
    auto& held = heldDrag();
    if (!held) {
        pokeModifiers(device, modifiers(), true);
        pokeMouseButton(device, buttonMask(), true);
        held = HeldDrag{buttonMask(), modifiers()};
        return;
    }
    // The drop releases what the pick-up pressed, whichever drag button ends
    // it, and lets the button go while the modifiers still decide the drop
    // (copy or move, for example).
    pokeMouseButton(device, held->buttonMask, false);
    pokeModifiers(device, held->modifiers, false);
    held.reset();
}

void ActionMultiClick::fromJson(const nlohmann::json& json) {
    ActionMouseButton::fromJson(json);
    clicks_ = std::clamp(clampedInt<std::int32_t>(json.at("clicks")), 0, maxClicks);
}

void ActionMultiClick::toJson(nlohmann::json& json) const {
    ActionMouseButton::toJson(json);
    json["clicks"] = clicks_;
    json["modifiers"] = modifiersToString(modifiers());
}

void ActionMultiClick::execute(IObxDevice& device, bool down) {
    log(LogLevel::debug, "Multi click - button: ", button(), ", clicks: ", clicks_,
        ", modifiers: ", modifiers());
    if (!down) {
        return;
    }
    pokeModifiers(device, modifiers(), true);
    for (std::int32_t click = 0; click < clicks_; ++click) {
        pokeMouseButton(device, buttonMask(), true);
        pokeMouseButton(device, buttonMask(), false);
    }
    pokeModifiers(device, modifiers(), false);
}

namespace {

// Indexed by code.
constexpr std::array<const char*, 7> scrollDirectionTexts{"unknown", "up",        "down",     "left",
                                                          "right",   "trackball", "trackauto"};

} // namespace

ScrollDirection scrollDirectionFromText(const std::string& text) {
    const auto lower = lowerCase(text);
    for (std::size_t code = 1; code < scrollDirectionTexts.size(); ++code) {
        if (lower == scrollDirectionTexts[code]) {
            return static_cast<ScrollDirection>(code);
        }
    }
    return ScrollDirection::unset;
}

std::string scrollDirectionText(ScrollDirection direction) {
    const auto code = static_cast<std::size_t>(direction);
    return code < scrollDirectionTexts.size() ? scrollDirectionTexts[code] : scrollDirectionTexts[0];
}

void ActionScroll::fromJson(const nlohmann::json& json) {
    direction_ = static_cast<std::uint32_t>(scrollDirectionFromText(json.at("direction").get<std::string>()));
    lines_ = std::clamp(readInt(json, "lines", 1), 1, maxLines);
}

void ActionScroll::toJson(nlohmann::json& json) const {
    json["direction"] = scrollDirectionText(static_cast<ScrollDirection>(direction_));
    json["lines"] = lines_;
}

void ActionScroll::execute(IObxDevice& device, bool down) {
    if (down) {
        pokeScroll(device, direction_, lines_);
    }
}

} // namespace obx
