#include "driver/core/ButtonProcessor.h"

namespace obx::driver {

void ButtonProcessor::timerTick(uint32_t id) {
    switch (id) {
    case kChordTimer:
        buttons_.chordWindowEnd();
        break;
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
