#pragma once

#include "driver/core/ButtonOutput.h"

#include <cstdint>

namespace obx::driver {

struct WheelAxisState {
    uint32_t id = 0;
    int32_t autoScrollStep = 0;
    bool invert = false;
    bool inertial = false;
    int64_t wheelSum = 0;   // wheel-delta units; wide: notches of large values must not overflow
    int32_t wheelCount = 0; // reports of the wheel
    int32_t velocity = 0;   // hundredths of a wheel step
};

// State shared by the button actions (which switch the scroll modes) and the motion logic (which
// scrolls): the modes, the axis-dominance counter, the division remainders and the wheel axes.
struct ScrollState {
    static constexpr int32_t kDominanceLimit = 10;

    bool scrollMode = false;
    bool autoScroll = false;
    bool autoScrollRunning = false;
    bool movedSinceTick = false;
    int32_t scrollSpeed = 1;
    int32_t autoScrollTicks = 0;
    int32_t dominance = 0;
    int32_t remainderX = 0;
    int32_t remainderY = 0;
    WheelAxisState vertical{kVerticalWheel};
    WheelAxisState horizontal{kHorizontalWheel};
    WheelAxisState* activeAxis = nullptr;

    WheelAxisState& axis(uint32_t id) { return id == kHorizontalWheel ? horizontal : vertical; }

    // The horizontal axis gains when |x| > |y|, the vertical one otherwise.
    void updateDominance(int32_t x, int32_t y) {
        const int64_t ax = x < 0 ? -int64_t{x} : x;
        const int64_t ay = y < 0 ? -int64_t{y} : y;
        if (ax > ay) {
            if (dominance < kDominanceLimit)
                ++dominance;
        } else if (dominance > -kDominanceLimit) {
            --dominance;
        }
    }

    // Timer 3 is started once per run; a second start reports it as already waiting.
    bool startAutoScrollTimer(IButtonOutput& out) {
        if (autoScrollRunning)
            return true;
        autoScrollRunning = true;
        return out.startTimer(kAutoScrollTimer, kAutoScrollPeriodMs);
    }

    void stopAutoScrollTimer(IButtonOutput& out) {
        autoScrollRunning = false;
        out.stopTimer(kAutoScrollTimer);
    }
};

} // namespace obx::driver
