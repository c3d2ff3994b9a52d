#include "platform/linux/wayland/ToplevelCommands.h"

#include "base/Log.h"

namespace obx::wayland {

bool ToplevelCommands::run(const std::string& action, const WindowAbilities& abilities) {
    static const std::set<std::string> commands{"maximizeWindow", "minimizeWindow", "closeWindow",
                                                "minimizeAll"};
    if (!commands.contains(action)) {
        return false;
    }
    const auto focused = toplevels_.focused();
    if (!focused) {
        return true;
    }
    if (action == "closeWindow") {
        toplevels_.request(focused->id, ToplevelRequest::close);
    } else if (action == "maximizeWindow") {
        // Maximizing a maximized window restores it, as its title bar button does.
        if (abilities.maximize) {
            toplevels_.request(focused->id,
                               focused->maximized ? ToplevelRequest::restore : ToplevelRequest::maximize);
        } else {
            toplevels_.request(focused->id, focused->fullscreen ? ToplevelRequest::leaveFullscreen
                                                                : ToplevelRequest::fullscreen);
        }
    } else if (!abilities.minimize) {
        cannot(action);
    } else if (action == "minimizeWindow") {
        toplevels_.request(focused->id, ToplevelRequest::minimize);
    } else {
        // The windows of the focused program stay: without a process, its app
        // id tells them.
        for (const auto& window : toplevels_.windows()) {
            if (window.id != focused->id && window.appId != focused->appId && !window.minimized) {
                toplevels_.request(window.id, ToplevelRequest::minimize);
            }
        }
    }
    return true;
}

void ToplevelCommands::cannot(const std::string& action) {
    if (refused_.insert(action).second) {
        log(LogLevel::warning, "This desktop cannot minimize windows: \"", action, "\" does nothing here");
    }
}

} // namespace obx::wayland
