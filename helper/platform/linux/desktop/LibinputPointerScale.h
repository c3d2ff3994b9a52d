#pragma once

// The helper's pointer scales on libinput's, for the desktops whose pointer
// settings are libinput's (sway, KWin). docs/platform-wayland.md gives the
// mapping and its reasons.

namespace obx::linuxos {

// What the helper's settings become on libinput's scales.
struct LibinputPointer {
    double acceleration = 0; // libinput's speed, -1 to 1
    bool adaptive = false;   // the adaptive profile, else flat
    double scrollFactor = 1;
};

// speed 0 to 100, acceleration rate 0 to 100 (0 off), wheel lines at least 1.
LibinputPointer libinputPointer(int speed, int accelerationRate, int wheelLines);

// Back onto the helper's scales: speed 5 to 100, wheel lines at least 1.
int speedOfAcceleration(double acceleration);
int wheelLinesOfScrollFactor(double factor);

// The settings on the helper's scales as a desktop reports them; defaults are
// the "cannot tell" values.
struct PointerReadback {
    int speed = 50;
    int accelerationRate = 0;
    int wheelLines = 1;
    bool scrollInvert = false;
};

// The acceleration rate the helper reads for a profile: one adaptive curve.
inline int accelerationRateOfProfile(bool adaptive) {
    return adaptive ? 10 : 0;
}

} // namespace obx::linuxos
