#include "actions/GestureAction.h"
#include "actions/SequencePlayer.h"
#include "base/Log.h"
#include "settings/DeviceConfig.h"

namespace obx {

// Only the exact mask of an event runs an action: the driver has already
// resolved chords, so a subset or superset match would run the wrong one.
void DeviceConfig::dispatchButtonEvent(IObxDevice& device, std::uint32_t pressedMask,
                                       std::uint32_t releasedMask) const {
    log(LogLevel::debug, "Button event: DOWN: ", Hex{pressedMask}, " UP: ", Hex{releasedMask});
    auto run = [&](std::uint32_t mask, bool down, const char* notFound) {
        if (mask == 0) {
            return;
        }
        auto found = actions_.find(mask);
        if (found == actions_.end()) {
            logText(LogLevel::debug, notFound);
            return;
        }
        found->second->execute(device, down);
    };
    // A press while a sequence waits in a pause cuts it short: the user moved
    // on, and the press's own action is not kept waiting up to 10 s.
    if (pressedMask != 0) {
        sequencePlayer().cutShort();
    }
    run(pressedMask, true, "Button down event: no actions found for the buttons");
    run(releasedMask, false, "Button up event: no actions found for the buttons");
}

void DeviceConfig::dispatchGestureEvent(IObxDevice& device, std::uint32_t mask, std::uint8_t direction,
                                        std::uint8_t steps) const {
    log(LogLevel::debug, "Gesture event: buttons: ", Hex{mask}, " direction: ", int{direction},
        " steps: ", int{steps});
    // As a press: the user has moved on from a sequence waiting in a pause.
    sequencePlayer().cutShort();
    const auto found = actions_.find(mask);
    const auto* gesture =
        found == actions_.end() ? nullptr : dynamic_cast<const ActionGesture*>(found->second.get());
    if (gesture == nullptr) {
        logText(LogLevel::debug, "Gesture event: no gesture action for the buttons");
        return;
    }
    gesture->perform(device, direction, steps);
}

} // namespace obx
