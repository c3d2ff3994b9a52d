#include "platform/linux/x11/PointerSettings.h"

namespace obx::x11 {

void PointerSettings::apply(int speed, int accelerationRate, int wheelLines) {
    const int level = speedLevel(speed);
    const int row = accelerationRow(accelerationRate);
    const PointerControl target = pointerControlFor(level, row);
    const PointerControl now = current();
    const bool factorDiffers = !sameFactor(now, target);
    const bool thresholdDiffers = now.threshold != target.threshold;
    if (factorDiffers || thresholdDiffers) {
        XChangePointerControl(display_, factorDiffers, thresholdDiffers, target.numerator, target.denominator,
                              target.threshold);
        XSync(display_, False);
    }
    applied_ = Applied{target, level, row};
    wheelLines_ = wheelLines;
}

int PointerSettings::pointerSpeed() const {
    const Applied* applied = stillApplied();
    return applied ? applied->level * 5 : 50;
}

int PointerSettings::accelerationRate() const {
    if (const Applied* applied = stillApplied()) {
        return applied->row > 0 ? 10 : 0;
    }
    const PointerControl now = current();
    return now.numerator > now.denominator ? 10 : 0;
}

bool PointerSettings::scrollInvert() const {
    unsigned char map[256] = {};
    const int count = XGetPointerMapping(display_, map, sizeof map);
    return count >= 5 && map[3] == 5 && map[4] == 4;
}

PointerControl PointerSettings::current() const {
    PointerControl control;
    XGetPointerControl(display_, &control.numerator, &control.denominator, &control.threshold);
    return control;
}

const PointerSettings::Applied* PointerSettings::stillApplied() const {
    if (!applied_) {
        return nullptr;
    }
    const PointerControl now = current();
    const bool same = sameFactor(now, applied_->control) && now.threshold == applied_->control.threshold;
    return same ? &*applied_ : nullptr;
}

} // namespace obx::x11
