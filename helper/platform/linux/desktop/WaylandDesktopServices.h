#pragma once

// What the platform services of every Wayland desktop bridge share: items
// opened with xdg-open, the program catalogue's list, and the session lock
// through logind. Input has no Wayland path yet and is logged as on a session
// without a desktop.

#include "platform/headless/HeadlessPlatformServices.h"
#include "platform/linux/session/SessionLocker.h"

namespace obx::linuxos {

class WaylandDesktopServices : public HeadlessPlatformServices {
public:
    WaylandDesktopServices(std::string dataFolder, x11::SessionLocker locker)
        : HeadlessPlatformServices(std::move(dataFolder)), locker_(std::move(locker)) {}

    void openItem(const std::string& path, const std::vector<std::string>& args, int type) override;
    nlohmann::json listApplications(int maxCount, const std::set<std::string>& excludedNames) override;

protected:
    x11::SessionLocker locker_;
};

} // namespace obx::linuxos
