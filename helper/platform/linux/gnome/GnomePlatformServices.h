#pragma once

// The platform services on GNOME Shell: window commands through our Shell
// extension, pointer settings through GSettings, the session lock through
// logind, items opened with xdg-open. Input (keystrokes, text, clicks, the
// snippet menu) has no Wayland path yet and is logged as on a session
// without a desktop.

#include "platform/headless/HeadlessPlatformServices.h"
#include "platform/linux/gnome/GnomePointerSettings.h"
#include "platform/linux/gnome/ShellBridgeCalls.h"
#include "platform/linux/session/SessionLocker.h"

#include <set>

namespace obx::gnome {

class GnomePlatformServices : public HeadlessPlatformServices {
public:
    GnomePlatformServices(std::string dataFolder, x11::SessionLocker locker = {});

    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void openItem(const std::string& path, const std::vector<std::string>& args, int type) override;
    void runSystemAction(const std::string& action, const nlohmann::json& params) override;
    nlohmann::json listApplications(int maxCount, const std::set<std::string>& excludedNames) override;
    int systemPointerSpeed() override { return readBack().speed; }
    int systemAccelerationRate() override { return readBack().accelerationRate; }
    int systemWheelLines() override { return readBack().wheelLines; }
    bool systemScrollInvert() override { return readBack().scrollInvert; }

private:
    wayland::PointerReadback readBack();
    // Logs the first time only that the desktop cannot do what.
    void cannot(const std::string& what, const std::string& why);

    x11::SessionLocker locker_;
    ShellBridgeCalls calls_;
    GnomePointerSettings pointer_;
    std::set<std::string> refused_;
};

} // namespace obx::gnome
