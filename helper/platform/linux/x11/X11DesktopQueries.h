#pragma once

// The device layer's desktop queries on X11: the foreground window from
// _NET_ACTIVE_WINDOW and its local process; the modifiers from the server's
// key state.

#include "devices/DesktopQueries.h"
#include "platform/linux/x11/ModifierKeys.h"
#include "platform/linux/x11/WindowProcesses.h"
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
    // this machine (see WindowProcesses).
    std::string foregroundApplicationPath() override;
    std::uint32_t pressedModifiers() override;

private:
    XConnection connection_;
    WindowProcesses processes_;
    int keyboardMapEvent_ = 0; // event type of the keyboard extension's notices
    // Resolved on first use and again after the server's keyboard map changed.
    std::optional<ModifierKeycodes> modifierKeys_;
};

} // namespace obx::x11
