#include "platform/linux/desktop/DesktopBridgeChoice.h"

namespace obx::linuxos {

namespace {

BridgeChoice withoutWaylandBridge(const SessionFacts& facts, const std::string& why) {
    if (facts.x11Answers) {
        return {DesktopBridge::x11, why + "; the X11 services on DISPLAY=" + facts.x11Display +
                                        " (Xwayland) see only X11 programs"};
    }
    return {DesktopBridge::headless, why + "; no X server answers either, so the helper runs headless"};
}

} // namespace

const char* bridgeName(DesktopBridge bridge) {
    switch (bridge) {
    case DesktopBridge::x11:
        return "X11";
    case DesktopBridge::wlroots:
        return "wlroots";
    case DesktopBridge::gnome:
        return "GNOME";
    case DesktopBridge::kde:
        return "KDE";
    case DesktopBridge::headless:
        break;
    }
    return "headless";
}

BridgeChoice chooseDesktopBridge(const SessionFacts& facts) {
    const bool wayland =
        facts.sessionType == "wayland" || (facts.sessionType.empty() && !facts.waylandDisplay.empty());
    if (wayland) {
        const std::string session = "Wayland session (WAYLAND_DISPLAY=" + facts.waylandDisplay + ")";
        if (facts.waylandDisplay.empty()) {
            return withoutWaylandBridge(facts, "Wayland session without WAYLAND_DISPLAY");
        }
        if (facts.gnomeShell) {
            return {DesktopBridge::gnome, session + " of GNOME Shell (org.gnome.Shell on the session bus)"};
        }
        if (facts.kwin) {
            return {DesktopBridge::kde, session + " of KWin (org.kde.KWin on the session bus)"};
        }
        if (facts.foreignToplevels) {
            return {DesktopBridge::wlroots,
                    session + " whose compositor offers zwlr_foreign_toplevel_manager_v1"};
        }
        return withoutWaylandBridge(facts, session + " whose compositor offers no bridge the helper knows");
    }
    if (facts.x11Answers) {
        return {DesktopBridge::x11, "X11 session on DISPLAY=" + facts.x11Display};
    }
    if (!facts.x11Display.empty()) {
        return {DesktopBridge::headless, "no X server answers on DISPLAY=" + facts.x11Display +
                                             " and no Wayland session: the helper runs headless"};
    }
    return {DesktopBridge::headless, "no X11 or Wayland display: the helper runs headless"};
}

} // namespace obx::linuxos
