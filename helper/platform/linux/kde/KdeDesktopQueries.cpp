#include "platform/linux/kde/KdeDesktopQueries.h"

#include "platform/linux/wayland/WlrootsDesktopQueries.h"

namespace obx::kde {

std::string KdeDesktopQueries::foregroundApplicationPath() {
    const auto window = windows_->active();
    // A sandboxed program's Wayland app id is its Flatpak id.
    return wayland::processProgram(procFolder_, window.pid, window.resourceClass, home_);
}

} // namespace obx::kde
