#pragma once

// The device layer's desktop queries on GNOME Shell: the focused window and
// its process as our Shell extension announces them, the held modifier keys
// as the Shell sees them.

#include "devices/DesktopQueries.h"
#include "platform/linux/gnome/ShellBridgeCalls.h"
#include "platform/linux/gnome/ShellFocusWatch.h"

#include <filesystem>
#include <memory>

namespace obx::gnome {

// Clutter's modifier mask as the device layer's modifier bits.
std::uint32_t desktopModifiers(std::uint32_t shellMask);

class GnomeDesktopQueries : public IDesktopQueries {
public:
    struct Options {
        std::filesystem::path procFolder = "/proc";
        std::string home;
    };

    GnomeDesktopQueries(std::shared_ptr<ShellFocusWatch> focus, Options options);

    std::uint64_t foregroundWindow() override;
    std::string foregroundApplicationPath() override;
    std::uint32_t pressedModifiers() override;

private:
    std::shared_ptr<ShellFocusWatch> focus_;
    Options options_;
    ShellBridgeCalls calls_;
};

} // namespace obx::gnome
