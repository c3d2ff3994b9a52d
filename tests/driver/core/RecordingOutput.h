#pragma once

// A button processor's output recorded as text, and button maps built from a list of entries.

#include "driver/core/ButtonMap.h"
#include "driver/core/ButtonOutput.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace obx::driver {

// Records every operation as text, and answers timer starts as a real one-shot timer would.
class RecordingOutput final : public IButtonOutput {
public:
    void sendButtons(uint32_t down, uint32_t up) override { add("buttons", down, up); }
    void sendMovement(int32_t dx, int32_t dy) override { add("move", dx, dy); }
    void sendWheel(uint32_t axis, int32_t amount) override { add("wheel", axis, amount); }
    void reportToHelper(uint32_t p, uint32_t r) override { add("event", p, r); }
    void reportGesture(uint32_t buttons, uint8_t direction, uint8_t steps) override {
        static constexpr const char* kNames[] = {"?",   "up",       "down",       "left",     "right",
                                                 "tap", "wheel-up", "wheel-down", "pan-left", "pan-right"};
        calls.push_back("gesture " + std::to_string(buttons) + " " + kNames[direction < 10 ? direction : 0] +
                        " " + std::to_string(steps));
    }
    bool startTimer(uint32_t id, uint32_t ms) override {
        add("start", id, ms);
        const bool was = waiting[id];
        waiting[id] = true;
        return was;
    }
    void stopTimer(uint32_t id) override {
        add("stop", id, 0);
        waiting[id] = false;
    }
    void traceTransition(const char* machine, const char* from, const char* event, const char* to) override {
        transitions.push_back(std::string(machine) + ": " + from + " -> " + event + " -> " + to);
    }

    std::vector<std::string> take() { return std::exchange(calls, {}); }
    std::vector<std::string> calls;
    std::vector<std::string> transitions;
    bool waiting[4] = {};

private:
    void add(const char* what, int64_t a, int64_t b) {
        calls.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b));
    }
};

using Calls = std::vector<std::string>;

struct Entry {
    uint32_t buttons;
    uint8_t kind;
    uint32_t output;
    uint8_t action;
    uint8_t amount;
    OBX_MAP_GESTURE_DATA gesture = {};
};

inline ButtonMap makeMap(uint32_t chordMask, const std::vector<Entry>& entries, uint32_t count = UINT32_MAX) {
    OBX_BUTTON_MAP raw{};
    raw.Size = sizeof raw;
    raw.ChordMask = chordMask;
    raw.Count = count == UINT32_MAX ? static_cast<uint32_t>(entries.size()) : count;
    size_t i = 0;
    for (const Entry& e : entries) {
        raw.Entries[i].Buttons = e.buttons;
        raw.Entries[i].Kind = e.kind;
        if (e.kind == OBX_MAP_ACTION) {
            raw.Entries[i].Data.Action.Action = e.action;
            raw.Entries[i].Data.Action.Amount = e.amount;
        } else if (e.kind == OBX_MAP_GESTURE) {
            raw.Entries[i].Data.Gesture = e.gesture;
        } else {
            raw.Entries[i].Data.OutputButtons = e.output;
        }
        ++i;
    }
    std::vector<uint8_t> bytes(sizeof raw);
    std::memcpy(bytes.data(), &raw, sizeof raw);
    return ButtonMap::fromRecord(bytes);
}

} // namespace obx::driver
