#pragma once

// The session's pointer settings on the X server's core pointer control,
// which lasts as long as the server runs and is never written anywhere.

#include "platform/linux/x11/PointerMapping.h"

#include <X11/Xlib.h>
#include <optional>

namespace obx::x11 {

class PointerSettings {
public:
    explicit PointerSettings(Display* display) : display_(display) {}

    void apply(int speed, int accelerationRate, int wheelLines);

    // On the scales of the settings; the pointer control tells the speed
    // only while it still holds what apply set (nothing else maps back).
    int pointerSpeed() const;
    int accelerationRate() const;
    // X has no wheel-lines setting: the value applied last, 1 before any.
    int wheelLines() const { return wheelLines_; }
    // Wheel buttons 4 and 5 swapped in the pointer's button map.
    bool scrollInvert() const;

private:
    struct Applied {
        PointerControl control;
        int level;
        int row;
    };
    PointerControl current() const;
    const Applied* stillApplied() const;

    Display* display_;
    std::optional<Applied> applied_;
    int wheelLines_ = 1;
};

} // namespace obx::x11
