#pragma once

// What the platform services of every Wayland desktop bridge share: items
// opened with xdg-open, the program catalogue's list, the session lock
// through logind, the pointer settings answered from the desktop's own store,
// scrolling as arrow keystrokes of the bridge's own keys, and what the desktop
// cannot do logged once. Input a bridge has no path for is logged as on a
// session without a desktop.

#include "platform/headless/HeadlessPlatformServices.h"
#include "platform/linux/desktop/LibinputPointerScale.h"
#include "platform/linux/session/SessionLocker.h"

#include <set>

namespace obx::linuxos {

class WaylandDesktopServices : public HeadlessPlatformServices {
public:
    WaylandDesktopServices(std::string dataFolder, x11::SessionLocker locker)
        : HeadlessPlatformServices(std::move(dataFolder)), locker_(std::move(locker)) {}

    void openItem(const std::string& path, const std::vector<std::string>& args, int type) override;
    nlohmann::json listApplications(int maxCount, const std::set<std::string>& excludedNames) override;
    int systemPointerSpeed() override { return readBack().speed; }
    int systemAccelerationRate() override { return readBack().accelerationRate; }
    int systemWheelLines() override { return readBack().wheelLines; }
    bool systemScrollInvert() override { return readBack().scrollInvert; }
    // Arrow keystrokes through the bridge's own keys.
    void scrollByKeys(std::uint32_t direction, int lines) override;

protected:
    // The pointer settings as the desktop's store holds them; the "cannot
    // tell" values when it does not answer.
    virtual PointerReadback readBack() = 0;
    // Logs "This desktop cannot <what>: <why>" the first time only.
    void cannot(const std::string& what, const std::string& why);

    x11::SessionLocker locker_;

private:
    std::set<std::string> refused_;
};

} // namespace obx::linuxos
