#include "platform/linux/gnome/GnomePointerSettings.h"

#include "platform/linux/gnome/GSettingsKeys.h"

namespace obx::gnome {

GnomePointerValues gnomePointerValues(int speed, int accelerationRate) {
    const auto values = linuxos::libinputPointer(speed, accelerationRate, 1);
    return {values.acceleration, values.adaptive ? "adaptive" : "flat"};
}

wayland::PointerReadback readGnomePointer(double speed, const std::string& accelProfile, bool naturalScroll) {
    wayland::PointerReadback values;
    values.speed = linuxos::speedOfAcceleration(speed);
    // "default" leaves the choice to libinput, whose default for a pointer
    // that has the choice is adaptive.
    values.accelerationRate = linuxos::accelerationRateOfProfile(accelProfile != "flat");
    values.scrollInvert = naturalScroll;
    return values;
}

void GnomePointerSettings::apply(int speed, int accelerationRate) {
    const auto values = gnomePointerValues(speed, accelerationRate);
    GSettingsKeys mouse(mouseSchema);
    mouse.write("speed", values.speed);
    mouse.writeString("accel-profile", values.accelProfile);
    GSettingsKeys::sync();
}

wayland::PointerReadback GnomePointerSettings::read() const {
    const GSettingsKeys mouse(mouseSchema);
    return readGnomePointer(mouse.readDouble("speed"), mouse.readString("accel-profile"),
                            mouse.readBool("natural-scroll"));
}

} // namespace obx::gnome
