#include "devices/ButtonMapRecord.h"

#include "actions/GestureAction.h"
#include "actions/MouseActions.h"
#include "settings/DeviceConfig.h"

#include <cstddef>

namespace obx {

namespace {

void storeU32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
    at[2] = static_cast<std::uint8_t>(value >> 16);
    at[3] = static_cast<std::uint8_t>(value >> 24);
}

void writeOutputButtons(std::uint32_t mask, std::uint32_t outputButtons, std::uint8_t* entry) {
    storeU32(entry + offsetof(OBX_BUTTON_MAP_ENTRY, Buttons), mask);
    entry[offsetof(OBX_BUTTON_MAP_ENTRY, Kind)] = OBX_MAP_BUTTONS;
    storeU32(entry + offsetof(OBX_BUTTON_MAP_ENTRY, Data), outputButtons);
}

// Buttons 1 to 5 alone: those the system knows as mouse buttons.
bool isOneMouseButton(std::uint32_t mask) {
    return mask != 0 && mask <= 0x10 && (mask & (mask - 1)) == 0;
}

bool writeGesture(std::uint32_t mask, const ActionGesture& gesture, std::uint32_t driverVersion,
                  std::uint8_t* entry) {
    // Without a tap a mouse button clicks itself, as it would without the gesture.
    const bool clicksItself = !gesture.hasTap() && isOneMouseButton(mask);
    if (driverVersion < gestureDriverVersion) {
        // An older driver cannot hold the gesture: the click stays the
        // driver's, and a button with a tap goes to the helper, which runs
        // the tap on its press.
        if (clicksItself) {
            writeOutputButtons(mask, mask, entry);
        }
        return clicksItself;
    }
    storeU32(entry + offsetof(OBX_BUTTON_MAP_ENTRY, Buttons), mask);
    entry[offsetof(OBX_BUTTON_MAP_ENTRY, Kind)] = OBX_MAP_GESTURE;
    entry[offsetof(OBX_BUTTON_MAP_ENTRY, Data.Gesture.Mode)] = static_cast<std::uint8_t>(gesture.mode());
    entry[offsetof(OBX_BUTTON_MAP_ENTRY, Data.Gesture.Flags)] = static_cast<std::uint8_t>(
        (gesture.takesWheel() ? OBX_GESTURE_WHEEL : 0u) | (clicksItself ? OBX_GESTURE_TAP_CLICK : 0u));
    entry[offsetof(OBX_BUTTON_MAP_ENTRY, Data.Gesture.Threshold)] =
        static_cast<std::uint8_t>(gesture.threshold());
    entry[offsetof(OBX_BUTTON_MAP_ENTRY, Data.Gesture.Threshold) + 1] =
        static_cast<std::uint8_t>(gesture.threshold() >> 8);
    return true;
}

// Writes the entry of action at entry; false when the driver cannot do it.
bool writeEntry(std::uint32_t mask, const ActionBase& action, std::uint32_t driverVersion,
                std::uint8_t* entry) {
    if (const auto* click = dynamic_cast<const ActionSingleClick*>(&action)) {
        // With modifiers the helper has to hold the keys around the click.
        if (click->modifiers() != 0) {
            return false;
        }
        writeOutputButtons(mask, click->buttonMask(), entry);
        return true;
    }
    if (const auto* gesture = dynamic_cast<const ActionGesture*>(&action)) {
        return writeGesture(mask, *gesture, driverVersion, entry);
    }
    if (const auto* scroll = dynamic_cast<const ActionScroll*>(&action)) {
        storeU32(entry + offsetof(OBX_BUTTON_MAP_ENTRY, Buttons), mask);
        entry[offsetof(OBX_BUTTON_MAP_ENTRY, Kind)] = OBX_MAP_ACTION;
        entry[offsetof(OBX_BUTTON_MAP_ENTRY, Data.Action.Action)] =
            static_cast<std::uint8_t>(scroll->direction());
        entry[offsetof(OBX_BUTTON_MAP_ENTRY, Data.Action.Amount)] =
            static_cast<std::uint8_t>(scroll->lines());
        return true;
    }
    return false;
}

} // namespace

namespace {

// The entries of the actions whose masks pass keep, in ascending mask order.
template <typename Keep>
void buildMap(const DeviceConfig& config, std::uint32_t driverVersion, std::uint32_t chordMask, Keep keep,
              ButtonMapBytes& record) {
    record.fill(0);
    std::uint32_t count = 0;
    for (const auto& [mask, action] : config.actions()) {
        if (count == OBX_BUTTON_MAP_MAX_ENTRIES) {
            break;
        }
        auto* entry =
            record.data() + offsetof(OBX_BUTTON_MAP, Entries) + count * sizeof(OBX_BUTTON_MAP_ENTRY);
        if (action && keep(mask) && writeEntry(mask, *action, driverVersion, entry)) {
            ++count;
        }
    }
    storeU32(record.data() + offsetof(OBX_BUTTON_MAP, Size), sizeof(OBX_BUTTON_MAP));
    storeU32(record.data() + offsetof(OBX_BUTTON_MAP, ChordMask), chordMask);
    storeU32(record.data() + offsetof(OBX_BUTTON_MAP, Count), count);
}

} // namespace

void buildButtonMap(const DeviceConfig& config, std::uint32_t driverVersion, ButtonMapBytes& record) {
    buildMap(
        config, driverVersion, config.chordMask(), [](std::uint32_t) { return true; }, record);
}

void buildLearningButtonMap(const DeviceConfig& config, ButtonMapBytes& record) {
    // Only the pan's scroll steps are kept, which no driver version changes.
    buildMap(
        config, 0, 0, [](std::uint32_t mask) { return (mask & ~OBX_PAN_BITS) == 0; }, record);
}

} // namespace obx
