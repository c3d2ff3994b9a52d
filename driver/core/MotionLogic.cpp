#include "driver/core/MotionLogic.h"

#include <algorithm>
#include <cstdlib>

namespace obx::driver {

namespace {

constexpr int32_t kMaxScrollSpeed = 10;
constexpr int32_t kMinInertiaNotches = 5;
constexpr int32_t kInertiaStopVelocity = 50;
constexpr int32_t kAutoScrollMaxTicks = 50;
// Keeps sum * 100 inside 64 bits however long the wheel turns one way.
constexpr int64_t kWheelSumLimit = int64_t{1} << 40;

int32_t negate(int32_t v) {
    return v == INT32_MIN ? INT32_MAX : -v;
}

bool oppositeSigns(int64_t a, int64_t b) {
    return (a < 0 && b > 0) || (a > 0 && b < 0);
}

} // namespace

int32_t MotionLogic::divideKeepingRemainder(int32_t value, int32_t divisor, int32_t& remainder) {
    const int64_t total = int64_t{value} + remainder;
    remainder = static_cast<int32_t>(total % divisor);
    return static_cast<int32_t>(total / divisor);
}

void MotionLogic::setSlowPointer(bool on) {
    if (on == slowPointer_)
        return;
    slowPointer_ = on;
    scroll_.remainderX = scroll_.remainderY = 0;
}

void MotionLogic::setSingleAxis(bool on) {
    if (on == singleAxis_)
        return;
    singleAxis_ = on;
    scroll_.dominance = 0;
}

void MotionLogic::movement(int32_t dx, int32_t dy) {
    if (dx == 0 && dy == 0)
        return;
    if (scroll_.scrollMode && scroll_.scrollSpeed != 0) {
        scrollFromMovement(dx, dy);
        dx = dy = 0;
    }
    if (slowPointer_) {
        dx = divideKeepingRemainder(dx, kSlowDivisor, scroll_.remainderX);
        dy = divideKeepingRemainder(dy, kSlowDivisor, scroll_.remainderY);
    }
    if (singleAxis_) {
        scroll_.updateDominance(dx, dy);
        if (scroll_.dominance > 0)
            dy = 0;
        else
            dx = 0;
    }
    out_.sendMovement(dx, dy);
}

void MotionLogic::scrollFromMovement(int32_t dx, int32_t dy) {
    const int32_t speed = scroll_.scrollSpeed > kMaxScrollSpeed ? kMaxScrollSpeed : scroll_.scrollSpeed;
    const int32_t divisor = speed < kMaxScrollSpeed ? 11 - speed : 1;
    const int32_t sx = divideKeepingRemainder(dx, divisor, scroll_.remainderX);
    const int32_t sy = divideKeepingRemainder(dy, divisor, scroll_.remainderY);
    scroll_.updateDominance(sx, sy);
    const bool horizontal = scroll_.dominance > 0;
    WheelAxisState& axis = horizontal ? scroll_.horizontal : scroll_.vertical;
    const int32_t value = horizontal ? sx : sy;
    const int32_t amount = axis.invert ? value : negate(value);
    out_.sendWheel(axis.id, detentsToDelta(amount));
    if (scroll_.autoScroll && amount != 0)
        followAutoScroll(axis, amount, divisor);
}

void MotionLogic::followAutoScroll(WheelAxisState& axis, int32_t amount, int32_t divisor) {
    scroll_.movedSinceTick = true;
    if (!scroll_.autoScrollRunning) {
        if (std::abs(scroll_.dominance) > 5) {
            scroll_.activeAxis = &axis;
            axis.autoScrollStep = amount > 0 ? 11 - divisor : divisor - 11;
            scroll_.startAutoScrollTimer(out_);
            scroll_.autoScrollTicks = 0;
        }
        return;
    }
    // An inertia tick may have cleared the active axis: then there is no direction to keep, and the
    // run ends as it does on a reversal.
    const WheelAxisState* active = scroll_.activeAxis;
    if (active == nullptr || active != &axis || oppositeSigns(active->autoScrollStep, amount)) {
        scroll_.stopAutoScrollTimer(out_);
        scroll_.dominance = 0;
    }
}

void MotionLogic::wheel(uint32_t axisId, int32_t value) {
    WheelAxisState& axis = scroll_.axis(axisId);
    const int32_t v = axis.invert ? negate(value) : value;
    if (axis.inertial) {
        if (axis.wheelSum != 0 && oppositeSigns(v, axis.wheelSum)) {
            axis.wheelCount = 0;
            axis.wheelSum = 0;
        }
        if (axis.wheelCount < INT32_MAX)
            ++axis.wheelCount;
        axis.wheelSum = std::clamp(axis.wheelSum + v, -kWheelSumLimit, kWheelSumLimit);
        axis.velocity = 0;
        out_.startTimer(kInertiaTimer, kInertiaPeriodMs);
        scroll_.activeAxis = &axis;
    }
    out_.sendWheel(axis.id, v);
}

void MotionLogic::inertiaTick() {
    WheelAxisState* axis = scroll_.activeAxis;
    if (axis == nullptr)
        return;
    if (axis->wheelCount < kMinInertiaNotches) {
        out_.stopTimer(kInertiaTimer);
        axis->wheelSum = 0;
        axis->wheelCount = 0;
        scroll_.activeAxis = nullptr;
        return;
    }
    // The sum is in wheel-delta units, the velocity in hundredths of a detent.
    const int64_t c64 = axis->velocity == 0 ? axis->wheelSum * 100 / (int64_t{axis->wheelCount} * kWheelDelta)
                                            : int64_t{axis->velocity} * 80 / 100;
    const int32_t c =
        c64 > INT32_MAX ? INT32_MAX : (c64 < -INT32_MAX ? -INT32_MAX : static_cast<int32_t>(c64));
    axis->velocity = c;
    if (std::abs(c) < kInertiaStopVelocity) {
        out_.stopTimer(kInertiaTimer);
        axis->wheelSum = 0;
        axis->wheelCount = 0;
        axis->velocity = 0;
        return;
    }
    int32_t step = c / 100;
    if (std::abs(c % 100) >= 50)
        step += c > 0 ? 1 : -1;
    out_.sendWheel(axis->id, detentsToDelta(step));
}

void MotionLogic::autoScrollTick() {
    const WheelAxisState* axis = scroll_.activeAxis;
    // Timer 3 repeats until stopped: whatever ended the run (scroll mode switched off, or an inertia
    // tick that cleared the axis), the tick must stop it rather than return with it armed.
    if (!scroll_.scrollMode || !scroll_.autoScroll || axis == nullptr) {
        scroll_.stopAutoScrollTimer(out_);
        return;
    }
    if (scroll_.movedSinceTick) {
        scroll_.movedSinceTick = false;
        return;
    }
    out_.sendWheel(axis->id, detentsToDelta(axis->autoScrollStep));
    if (++scroll_.autoScrollTicks > kAutoScrollMaxTicks) {
        scroll_.stopAutoScrollTimer(out_);
        scroll_.autoScrollTicks = 0;
    }
}

} // namespace obx::driver
