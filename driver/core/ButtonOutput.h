#pragma once

#include "driver/core/Framework.h"

#include <algorithm>
#include <cstdint>

namespace obx::driver {

enum TimerId : uint32_t { kChordTimer = 1, kInertiaTimer = 2, kAutoScrollTimer = 3 };
enum WheelAxis : uint32_t { kVerticalWheel = 1, kHorizontalWheel = 2 };

inline constexpr uint32_t kChordWindowMs = 100;
inline constexpr uint32_t kInertiaPeriodMs = 70;
inline constexpr uint32_t kAutoScrollPeriodMs = 300;

// Whole detents in wheel-delta units, saturated.
inline int32_t detentsToDelta(int64_t detents) {
    const int64_t delta = detents * kWheelDelta;
    return delta > INT32_MAX ? INT32_MAX : (delta < -INT32_MAX ? -INT32_MAX : static_cast<int32_t>(delta));
}

// One report's wheel or pan value in wheel-delta units, as the kernel's high-resolution wheel: a
// detent is `multiplier` counts (its Resolution Multiplier).
inline int32_t wheelDeltaOf(int32_t value, int32_t multiplier) {
    return static_cast<int32_t>(std::clamp<int64_t>(
        int64_t{value} * kWheelDelta / (multiplier < 1 ? 1 : multiplier), -INT32_MAX, INT32_MAX));
}

// What the button processor produces, and the timers it drives; implemented by the filter device.
class IButtonOutput {
public:
    virtual void sendButtons(uint32_t downMask, uint32_t upMask) = 0;
    virtual void sendMovement(int32_t dx, int32_t dy) = 0;
    // The amount in wheel-delta units (kWheelDelta a detent), so that a wheel that reports fractions of
    // a detent keeps them.
    virtual void sendWheel(uint32_t axis, int32_t amount) = 0;
    virtual void reportToHelper(uint32_t pressed, uint32_t released) = 0;
    // An OBX_GESTURE_EVENT for the helper: the gesture entry's buttons, an OBX_GESTURE_* direction and
    // its steps (1 to 255).
    virtual void reportGesture(uint32_t buttons, uint8_t direction, uint8_t steps) = 0;
    // Returns whether the timer was already waiting.
    virtual bool startTimer(uint32_t id, uint32_t milliseconds) = 0;
    // Does not wait for a timer function that is running.
    virtual void stopTimer(uint32_t id) = 0;
    // A debug record of one step of the state machine `machine`, "from -> event -> to"; the texts are
    // static.
    virtual void traceTransition(const char* machine, const char* from, const char* event,
                                 const char* to) = 0;

protected:
    ~IButtonOutput() = default;
};

} // namespace obx::driver
