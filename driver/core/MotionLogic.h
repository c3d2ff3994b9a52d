#pragma once

#include "driver/core/ButtonOutput.h"
#include "driver/core/ScrollState.h"

#include <cstdint>

namespace obx::driver {

// Ball movement (scroll mode, slow pointer, single axis), the wheel with its inertia, and the
// auto-scroll ticks.
class MotionLogic {
public:
    static constexpr int32_t kSlowDivisor = 5;

    MotionLogic(ScrollState& scroll, IButtonOutput& out) : scroll_(scroll), out_(out) {}

    void movement(int32_t dx, int32_t dy);
    // `value` in wheel-delta units: one report of the wheel.
    void wheel(uint32_t axis, int32_t value);
    void inertiaTick();
    void autoScrollTick();

    bool slowPointer() const { return slowPointer_; }
    bool singleAxis() const { return singleAxis_; }
    void setSlowPointer(bool on);
    void setSingleAxis(bool on);

private:
    // Adds the remainder, divides truncating toward zero and keeps the new remainder.
    static int32_t divideKeepingRemainder(int32_t value, int32_t divisor, int32_t& remainder);
    void scrollFromMovement(int32_t dx, int32_t dy);
    void followAutoScroll(WheelAxisState& axis, int32_t amount, int32_t divisor);

    ScrollState& scroll_;
    IButtonOutput& out_;
    bool slowPointer_ = false;
    bool singleAxis_ = false;
};

} // namespace obx::driver
