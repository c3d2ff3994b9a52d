#pragma once

// The device layer's desktop queries on KDE Plasma: the window KWin has
// active, as its focus script reports it, and the program of its process.

#include "devices/DesktopQueries.h"
#include "platform/linux/kde/KWinActiveWindow.h"

#include <filesystem>
#include <memory>

namespace obx::kde {

class KdeDesktopQueries : public IDesktopQueries {
public:
    KdeDesktopQueries(std::shared_ptr<KWinActiveWindow> windows, std::filesystem::path procFolder,
                      std::string home)
        : windows_(std::move(windows)), procFolder_(std::move(procFolder)), home_(std::move(home)) {}

    std::uint64_t foregroundWindow() override { return windows_->active().id; }
    std::string foregroundApplicationPath() override;
    // A Wayland client cannot see the keyboards' state: none reported.
    std::uint32_t pressedModifiers() override { return 0; }

private:
    std::shared_ptr<KWinActiveWindow> windows_;
    std::filesystem::path procFolder_;
    std::string home_;
};

} // namespace obx::kde
