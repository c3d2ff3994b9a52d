#pragma once

// The kind "gesture": while its buttons are held, the driver adds up the
// ball's travel and the wheel's notches and tells the helper a direction;
// this action holds one action for each direction and for the tap, and runs
// the one told. The form is read strictly, as no older client wrote it.

#include "actions/ActionBase.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace obx {

class ActionGesture final : public ActionBase {
public:
    static constexpr const char* kind = "gesture";
    // The values of OBX_GESTURE_TRAVEL_*.
    enum class Mode : std::uint8_t { none = 0, once = 1, repeat = 2 };
    static constexpr std::uint16_t minThreshold = 10;
    static constexpr std::uint16_t maxThreshold = 2000;
    static constexpr std::uint16_t defaultThreshold = 200;

    ActionGesture() : ActionBase(kind) {}

    // Throws ActionFieldError naming the field; a nested action is built
    // through the action factory, macros included.
    void fromJson(const nlohmann::json& json) override;
    void toJson(nlohmann::json& json) const override;
    // Only a driver without gestures hands the buttons themselves to the
    // helper: their press runs the tap's action whole.
    void execute(IObxDevice& device, bool down) override;
    void setOwner(DeviceConfig* owner) override;

    // Runs the action of the driver's gesture event, direction an
    // OBX_GESTURE_* code: steps times for a wheel or pan turn, once otherwise.
    // A direction without an action does nothing.
    void perform(IObxDevice& device, std::uint8_t direction, std::uint8_t steps) const;

    Mode mode() const { return mode_; }
    std::uint16_t threshold() const { return threshold_; }
    // Whether the wheel and the pan are the gesture's while it is held.
    bool takesWheel() const;
    bool hasTap() const;

    // The field name of an OBX_GESTURE_* code ("up", "wheelDown", "tap"), for
    // the event stream; empty for a code that names none.
    static std::string_view directionName(std::uint8_t direction);

private:
    // Indexed by OBX_GESTURE_* code less one.
    static constexpr std::size_t slotCount = 9;

    Mode mode_ = Mode::none;
    std::uint16_t threshold_ = defaultThreshold;
    std::array<ActionPtr, slotCount> actions_;
};

} // namespace obx
