#pragma once

// The pointer settings on sway: written with the IPC's input commands for
// every pointer (type:pointer), read back from get_inputs. The helper's scales
// map onto libinput's as docs/platform-wayland.md describes.

#include "platform/linux/desktop/LibinputPointerScale.h"

#include <nlohmann/json.hpp>
#include <string>

namespace obx::wayland {

// The commands that set speed (0 to 100), acceleration rate (0 to 100, 0 off)
// and wheel lines (at least 1) on every pointer.
std::string swayPointerCommands(int speed, int accelerationRate, int wheelLines);

using linuxos::PointerReadback;

// The settings on the helper's scales as a get_inputs reply shows them on its
// first pointer; a value that no pointer shows is the "cannot tell" value
// (speed 50, acceleration 0, wheel lines 1, no inversion).
PointerReadback readPointerSettings(const nlohmann::json& inputs);

} // namespace obx::wayland
