#pragma once

// The platform services on a wlroots compositor: window commands through
// foreign-toplevel, pointer settings through sway's IPC, the session lock
// through logind, items opened with xdg-open. Input (keystrokes, text,
// clicks, the snippet menu) has no Wayland path yet and is logged as on a
// session without a desktop.

#include "platform/linux/desktop/WaylandDesktopServices.h"
#include "platform/linux/wayland/ForeignToplevels.h"
#include "platform/linux/wayland/SwayIpc.h"
#include "platform/linux/wayland/SwayPointerSettings.h"
#include "platform/linux/wayland/ToplevelCommands.h"

#include <memory>

namespace obx::wayland {

class WlrootsPlatformServices : public linuxos::WaylandDesktopServices {
public:
    WlrootsPlatformServices(std::shared_ptr<ForeignToplevels> toplevels, std::string dataFolder,
                            x11::SessionLocker locker = {});

    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void runSystemAction(const std::string& action, const nlohmann::json& params) override;
    int systemPointerSpeed() override { return readBack().speed; }
    int systemAccelerationRate() override { return readBack().accelerationRate; }
    int systemWheelLines() override { return readBack().wheelLines; }
    bool systemScrollInvert() override { return readBack().scrollInvert; }

private:
    PointerReadback readBack();

    std::shared_ptr<ForeignToplevels> toplevels_;
    SwaySession sway_;
    ToplevelCommands windows_;
    bool pointerRefusalLogged_ = false;
};

} // namespace obx::wayland
