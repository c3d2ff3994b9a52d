#pragma once

// The device layer's desktop queries on X11: the foreground window from
// _NET_ACTIVE_WINDOW and its local process; the modifiers from the server's
// key state.

#include "devices/DesktopQueries.h"
#include "platform/linux/x11/ModifierKeys.h"
#include "platform/linux/x11/XConnection.h"

#include <filesystem>
#include <optional>
#include <string>

namespace obx::x11 {

class X11DesktopQueries : public IDesktopQueries {
public:
    // procFolder: where the processes' folders are (tests give another).
    explicit X11DesktopQueries(const std::string& displayName = {},
                               std::filesystem::path procFolder = "/proc");

    std::uint64_t foregroundWindow() override;
    // The executable of the window's process, when that process runs on
    // this machine: _NET_WM_PID counts only beside a WM_CLIENT_MACHINE that
    // names this host; without it the X Resource extension asks the server
    // which local process the window's client is.
    std::string foregroundApplicationPath() override;
    std::uint32_t pressedModifiers() override;

private:
    unsigned long localPid(Window window) const;
    unsigned long serverKnownPid(Window window) const;

    XConnection connection_;
    std::filesystem::path procFolder_;
    std::string host_;
    bool clientIds_ = false;   // the server answers client-id queries
    int keyboardMapEvent_ = 0; // event type of the keyboard extension's notices
    // Resolved on first use and again after the server's keyboard map changed.
    std::optional<ModifierKeycodes> modifierKeys_;
};

} // namespace obx::x11
