#pragma once

// The device layer's desktop queries on a wlroots compositor: the focused
// window from foreign-toplevel; its program from sway's IPC (the window's
// process) or, elsewhere, from the desktop entries that name its app id; the
// modifier keys from obxkernd.

#include "devices/DesktopQueries.h"
#include "platform/linux/devices/DaemonModifierKeys.h"
#include "platform/linux/devices/LinuxDeviceNotices.h"
#include "platform/linux/wayland/AppIdPrograms.h"
#include "platform/linux/wayland/ForeignToplevels.h"
#include "platform/linux/wayland/SwayIpc.h"

#include <filesystem>
#include <memory>

namespace obx::wayland {

// The program of a sandboxed (Flatpak) application: its exported launcher,
// the user's installation first; empty for an app id that is no plain name.
std::string flatpakProgram(const std::string& appId, const std::string& home);

// The program of a window's process: /proc/<pid>/exe, or for a sandboxed
// process the Flatpak program of its app id; empty when it cannot be read.
std::string processProgram(const std::filesystem::path& procFolder, pid_t pid, const std::string& appId,
                           const std::string& home);

class WlrootsDesktopQueries : public IDesktopQueries {
public:
    struct Options {
        std::filesystem::path procFolder = "/proc";
        std::string home;
        linuxos::LinuxCataloguePlatform::Options entries;
        // Where obxkernd answers which modifier keys are held.
        std::filesystem::path runtimeFolder = obxRuntimeFolder();
    };

    WlrootsDesktopQueries(std::shared_ptr<ForeignToplevels> toplevels, Options options);

    std::uint64_t foregroundWindow() override;
    std::string foregroundApplicationPath() override;
    // A Wayland client cannot see the keyboards' state: obxkernd tells it.
    std::uint32_t pressedModifiers() override { return modifiers_.held(); }

private:
    std::shared_ptr<ForeignToplevels> toplevels_;
    Options options_;
    SwaySession sway_;
    AppIdPrograms programs_;
    DaemonModifierKeys modifiers_;
};

} // namespace obx::wayland
