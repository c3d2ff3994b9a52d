#pragma once

#include "driver/shared/ObxControl.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace obx::driver {

struct MapEntry {
    uint32_t buttons = 0;
    uint8_t kind = OBX_MAP_BUTTONS;
    uint32_t output = 0; // kind OBX_MAP_BUTTONS
    uint8_t action = 0;  // kind OBX_MAP_ACTION
    uint8_t amount = 0;
    uint8_t mode = OBX_GESTURE_TRAVEL_NONE; // kind OBX_MAP_GESTURE
    uint8_t flags = 0;
    uint16_t threshold = OBX_GESTURE_THRESHOLD_DEFAULT;
};

// The button map as the driver keeps it: the chord mask and the entries in use, decoded from the
// packed record.
class ButtonMap {
public:
    ButtonMap(); // the map in force before the helper sends one

    // Takes an OBX_BUTTON_MAP record of at least sizeof(OBX_BUTTON_MAP) bytes. A count above the
    // record's capacity is clamped to it.
    static ButtonMap fromRecord(std::span<const uint8_t> record);

    uint32_t chordMask() const { return chordMask_; }
    // The buttons of the gesture entries whose travel the driver adds up (mode ONCE or REPEAT).
    uint32_t travelGestureButtons() const { return travelGestureButtons_; }
    uint32_t count() const { return count_; }
    // The entry whose buttons equal the mask exactly; an empty mask matches nothing.
    const MapEntry* find(uint32_t buttons) const;
    const MapEntry* find(uint32_t buttons, uint8_t kind) const;

private:
    // A gesture entry as the driver keeps it; false for a mode it does not know.
    static bool decodeGesture(const OBX_MAP_GESTURE_DATA& in, MapEntry& out);

    uint32_t chordMask_ = 0;
    uint32_t travelGestureButtons_ = 0;
    uint32_t count_ = 0;
    std::array<MapEntry, OBX_BUTTON_MAP_MAX_ENTRIES> entries_{};
};

} // namespace obx::driver
