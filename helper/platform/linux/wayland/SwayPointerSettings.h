#pragma once

// The pointer settings on sway: written with the IPC's input commands for
// every pointer (type:pointer), read back from get_inputs. The helper's scales
// map onto libinput's as docs/platform-wayland.md describes.

#include <nlohmann/json.hpp>
#include <string>

namespace obx::wayland {

// The helper's speed (0 to 100) as libinput's pointer acceleration (-1 to 1),
// and back (5 to 100); whether an acceleration rate (0 to 100) takes the
// adaptive profile. Every desktop that stores libinput's values shares these.
double libinputPointerAccel(int speed);
int speedFromLibinputAccel(double accel);
bool adaptiveProfile(int accelerationRate);

// The commands that set speed (0 to 100), acceleration rate (0 to 100, 0 off)
// and wheel lines (at least 1) on every pointer.
std::string swayPointerCommands(int speed, int accelerationRate, int wheelLines);

// The settings on the helper's scales as a get_inputs reply shows them on its
// first pointer; a value that no pointer shows is the "cannot tell" value
// (speed 50, acceleration 0, wheel lines 1, no inversion).
struct PointerReadback {
    int speed = 50;
    int accelerationRate = 0;
    int wheelLines = 1;
    bool scrollInvert = false;
};
PointerReadback readPointerSettings(const nlohmann::json& inputs);

} // namespace obx::wayland
