#pragma once

// The platform services on KDE Plasma: window commands as one-shot KWin
// scripts, pointer settings on KWin's input devices, the session lock through
// logind, items opened with xdg-open. Input (keystrokes, text, clicks, the
// snippet menu) has no Wayland path yet and is logged as on a session
// without a desktop.

#include "platform/headless/HeadlessPlatformServices.h"
#include "platform/linux/kde/KWinBus.h"
#include "platform/linux/kde/KWinPointerSettings.h"
#include "platform/linux/session/SessionLocker.h"

#include <filesystem>
#include <mutex>
#include <set>

namespace obx::kde {

class KdePlatformServices : public HeadlessPlatformServices {
public:
    KdePlatformServices(std::filesystem::path scriptFolder, std::string dataFolder,
                        x11::SessionLocker locker = {});
    ~KdePlatformServices() override;

    void applyPointerSettings(int speed, int accelerationRate, int wheelLines) override;
    void openItem(const std::string& path, const std::vector<std::string>& args, int type) override;
    void runSystemAction(const std::string& action, const nlohmann::json& params) override;
    nlohmann::json listApplications(int maxCount, const std::set<std::string>& excludedNames) override;
    int systemPointerSpeed() override { return readBack().speed; }
    int systemAccelerationRate() override { return readBack().accelerationRate; }
    int systemWheelLines() override { return readBack().wheelLines; }
    bool systemScrollInvert() override { return readBack().scrollInvert; }

private:
    linuxos::PointerReadback readBack();
    // The connection, opened at first use; the lock is held for calls that
    // wait two seconds at most.
    sd_bus* bus();
    void dropBus();
    void cannot(const std::string& action, const std::string& why);

    std::filesystem::path scriptFolder_;
    x11::SessionLocker locker_;
    std::mutex busMutex_;
    BusConnection bus_;
    std::set<std::string> scriptsRun_;
    std::set<std::string> refused_;
    bool noPointerLogged_ = false;
};

} // namespace obx::kde
