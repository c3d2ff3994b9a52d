#include "driver/core/ButtonProcessor.h"

#include <algorithm>

namespace obx::driver {

namespace {

int32_t saturated(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

} // namespace

void ButtonProcessor::pan(int32_t value, int32_t multiplier) {
    gesture_.wheel(kHorizontalWheel, wheelDeltaOf(value, multiplier));
    buttons_.pan(value, multiplier);
}

void ButtonProcessor::movement(int32_t dx, int32_t dy) {
    if (dx == 0 && dy == 0)
        return;
    if (gesture_.travel(dx, dy))
        return;
    if (buttons_.holdsTravel()) {
        gesture_.holdBack(dx, dy);
        return;
    }
    motion_.movement(dx, dy);
}

void ButtonProcessor::verticalWheel(int32_t delta) {
    if (!gesture_.wheel(kVerticalWheel, delta))
        motion_.wheel(kVerticalWheel, delta);
}

void ButtonProcessor::timerTick(uint32_t id) {
    switch (id) {
    case kChordTimer: {
        buttons_.chordWindowEnd();
        // What the window held back and no gesture took moves the pointer now, after the replayed changes.
        const Travel held = gesture_.takeHeldBack();
        if (!held.empty())
            motion_.movement(saturated(held.x), saturated(held.y));
        break;
    }
    case kInertiaTimer:
        motion_.inertiaTick();
        break;
    case kAutoScrollTimer:
        motion_.autoScrollTick();
        break;
    default:
        break;
    }
}

void ButtonProcessor::setScrollParams(const OBX_SCROLL_PARAMS& params) {
    WheelAxisState& axis = scroll_.axis(params.Wheel == 0 ? kVerticalWheel : kHorizontalWheel);
    axis.invert = params.Invert != 0;
    axis.inertial = params.Inertial != 0;
}

OBX_SCROLL_PARAMS ButtonProcessor::scrollParams(uint8_t wheel) const {
    const WheelAxisState& axis = wheel == 0 ? scroll_.vertical : scroll_.horizontal;
    OBX_SCROLL_PARAMS params{};
    params.Wheel = wheel;
    params.Invert = axis.invert ? 1 : 0;
    params.Inertial = axis.inertial ? 1 : 0;
    return params;
}

} // namespace obx::driver
