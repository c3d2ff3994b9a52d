#pragma once

// The pointer settings on GNOME: org.gnome.desktop.peripherals.mouse, which
// the Shell applies to every mouse and trackball, written and read back
// through GSettings. The helper's scales map onto libinput's as on sway
// (docs/platform-wayland.md); GNOME has no key for the wheel's lines.

#include "platform/linux/wayland/SwayPointerSettings.h"

#include <string>

namespace obx::gnome {

inline constexpr const char* mouseSchema = "org.gnome.desktop.peripherals.mouse";

struct GnomePointerValues {
    double speed = 0;         // "speed", -1 to 1
    std::string accelProfile; // "accel-profile": "flat" or "adaptive"
};

GnomePointerValues gnomePointerValues(int speed, int accelerationRate);
// The keys' values on the helper's scales; the wheel's lines are the
// "cannot tell" 1.
wayland::PointerReadback readGnomePointer(double speed, const std::string& accelProfile, bool naturalScroll);

class GnomePointerSettings {
public:
    // Throws std::runtime_error when the store refuses them or the schema is
    // not installed.
    void apply(int speed, int accelerationRate);
    wayland::PointerReadback read() const;
};

} // namespace obx::gnome
