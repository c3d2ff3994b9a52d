#include "driver/core/ButtonMap.h"

#include <algorithm>
#include <cstring>

namespace obx::driver {

ButtonMap::ButtonMap() {
    for (uint32_t bit = 0; bit < 5; ++bit)
        entries_[count_++] = MapEntry{1u << bit, OBX_MAP_BUTTONS, 1u << bit, 0, 0};
    entries_[count_++] = MapEntry{OBX_PAN_LEFT, OBX_MAP_ACTION, 0, OBX_ACTION_SCROLL_LEFT, 1};
    entries_[count_++] = MapEntry{OBX_PAN_RIGHT, OBX_MAP_ACTION, 0, OBX_ACTION_SCROLL_RIGHT, 1};
}

ButtonMap ButtonMap::fromRecord(std::span<const uint8_t> record) {
    OBX_BUTTON_MAP raw;
    std::memcpy(&raw, record.data(), sizeof raw);
    ButtonMap map;
    map.chordMask_ = raw.ChordMask;
    map.count_ = raw.Count < OBX_BUTTON_MAP_MAX_ENTRIES ? raw.Count : OBX_BUTTON_MAP_MAX_ENTRIES;
    for (uint32_t i = 0; i < map.count_; ++i) {
        const OBX_BUTTON_MAP_ENTRY& in = raw.Entries[i];
        MapEntry& out = map.entries_[i];
        out = MapEntry{};
        out.buttons = in.Buttons;
        if (in.Kind == OBX_MAP_ACTION) {
            out.kind = OBX_MAP_ACTION;
            out.action = in.Data.Action.Action;
            out.amount = in.Data.Action.Amount;
        } else if (in.Kind == OBX_MAP_BUTTONS) {
            out.output = in.Data.OutputButtons;
        } else if (in.Kind == OBX_MAP_GESTURE && decodeGesture(in.Data.Gesture, out)) {
            if (out.mode != OBX_GESTURE_TRAVEL_NONE)
                map.travelGestureButtons_ |= out.buttons;
        }
        // Any other kind, and a gesture of a mode this driver does not know, stays a button entry without
        // output: its buttons are swallowed, as by a driver that knows no gestures.
    }
    return map;
}

bool ButtonMap::decodeGesture(const OBX_MAP_GESTURE_DATA& in, MapEntry& out) {
    if (in.Mode > OBX_GESTURE_TRAVEL_REPEAT)
        return false;
    out.kind = OBX_MAP_GESTURE;
    out.mode = in.Mode;
    out.flags = in.Flags & (OBX_GESTURE_WHEEL | OBX_GESTURE_TAP_CLICK); // unknown flags are ignored
    const uint16_t threshold = in.Threshold;
    out.threshold = threshold == 0 ? OBX_GESTURE_THRESHOLD_DEFAULT
                                   : std::clamp<uint16_t>(threshold, OBX_GESTURE_THRESHOLD_MIN,
                                                          OBX_GESTURE_THRESHOLD_MAX);
    return true;
}

const MapEntry* ButtonMap::find(uint32_t buttons) const {
    if (buttons == 0)
        return nullptr;
    for (uint32_t i = 0; i < count_; ++i) {
        if (entries_[i].buttons == buttons)
            return &entries_[i];
    }
    return nullptr;
}

const MapEntry* ButtonMap::find(uint32_t buttons, uint8_t kind) const {
    if (buttons == 0)
        return nullptr;
    for (uint32_t i = 0; i < count_; ++i) {
        if (entries_[i].buttons == buttons && entries_[i].kind == kind)
            return &entries_[i];
    }
    return nullptr;
}

} // namespace obx::driver
