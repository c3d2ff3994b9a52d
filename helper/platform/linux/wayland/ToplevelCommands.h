#pragma once

// The window commands on a wlroots compositor, as foreign-toplevel requests
// for the focused window. A command the desktop cannot carry out is logged
// the first time it is asked for.

#include "platform/linux/wayland/ForeignToplevels.h"

#include <set>
#include <string>

namespace obx::wayland {

// What the compositor does with the requests: sway has neither maximized nor
// minimized windows (it tiles, and fullscreen is its nearest to maximized).
struct WindowAbilities {
    bool maximize = true;
    bool minimize = true;
};

class ToplevelCommands {
public:
    explicit ToplevelCommands(ForeignToplevels& toplevels) : toplevels_(toplevels) {}

    // False when the action is no window command.
    bool run(const std::string& action, const WindowAbilities& abilities);

private:
    void cannot(const std::string& action);

    ForeignToplevels& toplevels_;
    std::set<std::string> refused_;
};

} // namespace obx::wayland
