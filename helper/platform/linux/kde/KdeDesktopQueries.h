#pragma once

// The device layer's desktop queries on KDE Plasma: the window KWin has
// active, as its focus script reports it, and the program of its process;
// the modifier keys from obxkernd.

#include "devices/DesktopQueries.h"
#include "platform/linux/devices/DaemonModifierKeys.h"
#include "platform/linux/devices/LinuxDeviceNotices.h"
#include "platform/linux/kde/KWinActiveWindow.h"

#include <filesystem>
#include <memory>

namespace obx::kde {

class KdeDesktopQueries : public IDesktopQueries {
public:
    KdeDesktopQueries(std::shared_ptr<KWinActiveWindow> windows, std::filesystem::path procFolder,
                      std::string home, std::filesystem::path runtimeFolder = obxRuntimeFolder())
        : windows_(std::move(windows)), procFolder_(std::move(procFolder)), home_(std::move(home)),
          modifiers_(std::move(runtimeFolder)) {}

    std::uint64_t foregroundWindow() override { return windows_->active().id; }
    std::string foregroundApplicationPath() override;
    // A Wayland client cannot see the keyboards' state: obxkernd tells it.
    std::uint32_t pressedModifiers() override { return modifiers_.held(); }

private:
    std::shared_ptr<KWinActiveWindow> windows_;
    std::filesystem::path procFolder_;
    std::string home_;
    DaemonModifierKeys modifiers_;
};

} // namespace obx::kde
