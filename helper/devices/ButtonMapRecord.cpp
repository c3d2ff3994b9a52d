#include "devices/ButtonMapRecord.h"

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

// Writes the entry of action at entry; false when the driver cannot do it.
bool writeEntry(std::uint32_t mask, const ActionBase& action, std::uint8_t* entry) {
    if (const auto* click = dynamic_cast<const ActionSingleClick*>(&action)) {
        // With modifiers the helper has to hold the keys around the click.
        if (click->modifiers() != 0) {
            return false;
        }
        storeU32(entry + offsetof(OBX_BUTTON_MAP_ENTRY, Buttons), mask);
        entry[offsetof(OBX_BUTTON_MAP_ENTRY, Kind)] = OBX_MAP_BUTTONS;
        storeU32(entry + offsetof(OBX_BUTTON_MAP_ENTRY, Data), click->buttonMask());
        return true;
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
void buildMap(const DeviceConfig& config, std::uint32_t chordMask, Keep keep, ButtonMapBytes& record) {
    record.fill(0);
    std::uint32_t count = 0;
    for (const auto& [mask, action] : config.actions()) {
        if (count == OBX_BUTTON_MAP_MAX_ENTRIES) {
            break;
        }
        auto* entry =
            record.data() + offsetof(OBX_BUTTON_MAP, Entries) + count * sizeof(OBX_BUTTON_MAP_ENTRY);
        if (action && keep(mask) && writeEntry(mask, *action, entry)) {
            ++count;
        }
    }
    storeU32(record.data() + offsetof(OBX_BUTTON_MAP, Size), sizeof(OBX_BUTTON_MAP));
    storeU32(record.data() + offsetof(OBX_BUTTON_MAP, ChordMask), chordMask);
    storeU32(record.data() + offsetof(OBX_BUTTON_MAP, Count), count);
}

} // namespace

void buildButtonMap(const DeviceConfig& config, ButtonMapBytes& record) {
    buildMap(
        config, config.chordMask(), [](std::uint32_t) { return true; }, record);
}

void buildLearningButtonMap(const DeviceConfig& config, ButtonMapBytes& record) {
    buildMap(
        config, 0, [](std::uint32_t mask) { return (mask & ~OBX_PAN_BITS) == 0; }, record);
}

} // namespace obx
