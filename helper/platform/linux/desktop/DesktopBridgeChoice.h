#pragma once

// Which desktop bridge serves the session, chosen once at start from what the
// session shows, and the reason the log gives for the choice.

#include <string>

namespace obx::linuxos {

enum class DesktopBridge { x11, wlroots, gnome, kde, headless };

// What start-up found out about the session.
struct SessionFacts {
    std::string sessionType;       // $XDG_SESSION_TYPE
    std::string waylandDisplay;    // $WAYLAND_DISPLAY
    std::string x11Display;        // $DISPLAY
    bool x11Answers = false;       // an X server answers on $DISPLAY
    bool gnomeShell = false;       // org.gnome.Shell has an owner on the session bus
    bool kwin = false;             // org.kde.KWin has an owner on the session bus
    bool foreignToplevels = false; // the compositor offers zwlr_foreign_toplevel_manager_v1
};

struct BridgeChoice {
    DesktopBridge bridge = DesktopBridge::headless;
    std::string reason;
};

// A Wayland session ($XDG_SESSION_TYPE "wayland", or unset with
// $WAYLAND_DISPLAY set) gets the GNOME bridge when GNOME Shell owns its bus
// name, the KDE bridge when KWin owns its bus name, the wlroots bridge when
// its compositor offers foreign-toplevel. Any other session with an answering
// X server gets the X11 services; without one, headless.
BridgeChoice chooseDesktopBridge(const SessionFacts& facts);

const char* bridgeName(DesktopBridge bridge);

} // namespace obx::linuxos
