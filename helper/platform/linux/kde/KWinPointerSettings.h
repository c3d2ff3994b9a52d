#pragma once

// The pointer settings on KWin: its input-device objects on the session bus
// (org.kde.KWin.InputDevice under /org/kde/KWin/InputDevice). They are
// written on every pointer that is no touchpad, because KWin's devices do not
// tell which one is the trackball, and read back from the first of them.

#include "platform/linux/desktop/LibinputPointerScale.h"

#include <string>
#include <systemd/sd-bus.h>
#include <vector>

namespace obx::kde {

// What a pointer device shows, on libinput's scales.
struct KWinPointerState {
    double acceleration = 0;
    bool adaptive = false;
    double scrollFactor = 1;
    bool naturalScroll = false;
};

// The device's properties to write so that it shows the wanted values: only
// those that differ (names as KWin's interface has them).
struct KWinPropertyChange {
    std::string name;
    double number = 0;
    bool flag = false;
    bool isFlag = false;
};
std::vector<KWinPropertyChange> kwinPointerChanges(const KWinPointerState& now,
                                                   const linuxos::LibinputPointer& wanted);

linuxos::PointerReadback kwinPointerReadback(const KWinPointerState& state);

// A device's name in its object path: KWin uses the event node's name.
bool plainDeviceName(const std::string& name);

class KWinInputDevices {
public:
    explicit KWinInputDevices(sd_bus* bus) : bus_(bus) {}

    // The object paths of the pointers that are no touchpads; at most 64.
    // Throws std::runtime_error when KWin does not answer.
    std::vector<std::string> pointers();
    KWinPointerState state(const std::string& path);
    void change(const std::string& path, const KWinPropertyChange& change);

private:
    sd_bus* bus_;
};

} // namespace obx::kde
