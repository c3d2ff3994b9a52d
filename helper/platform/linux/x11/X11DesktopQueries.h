#pragma once

// The device layer's desktop queries on X11: the foreground window from
// _NET_ACTIVE_WINDOW and its process from _NET_WM_PID; the modifiers from the
// server's key state.

#include "devices/DesktopQueries.h"
#include "platform/linux/x11/XConnection.h"

#include <filesystem>

namespace obx::x11 {

class X11DesktopQueries : public IDesktopQueries {
public:
    // procFolder: where the processes' folders are (tests give another).
    explicit X11DesktopQueries(const std::string& displayName = {},
                               std::filesystem::path procFolder = "/proc");

    std::uint64_t foregroundWindow() override;
    std::string foregroundApplicationPath() override;
    std::uint32_t pressedModifiers() override;

private:
    XConnection connection_;
    std::filesystem::path procFolder_;
};

} // namespace obx::x11
