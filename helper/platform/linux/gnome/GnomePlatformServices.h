#pragma once

// The platform services on GNOME Shell: window commands through our Shell
// extension, pointer settings through GSettings; the rest as on every
// Wayland desktop. Input (keystrokes, text, clicks, the snippet menu) has no
// path on GNOME yet and is logged as on a session without a desktop.

#include "platform/linux/desktop/WaylandDesktopServices.h"
#include "platform/linux/gnome/GnomePointerSettings.h"
#include "platform/linux/gnome/ShellBridgeCalls.h"

namespace obx::gnome {

class GnomePlatformServices : public linuxos::WaylandDesktopServices {
public:
    GnomePlatformServices(std::string dataFolder, x11::SessionLocker locker = {});

    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void runSystemAction(const std::string& action, const nlohmann::json& params) override;

private:
    linuxos::PointerReadback readBack() override;

    ShellBridgeCalls calls_;
    GnomePointerSettings pointer_;
};

} // namespace obx::gnome
