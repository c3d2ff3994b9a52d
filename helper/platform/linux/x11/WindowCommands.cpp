#include "platform/linux/x11/WindowCommands.h"

#include "platform/linux/x11/XProperties.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace obx::x11 {

namespace {
// EWMH: requests from ordinary applications carry source indication 1.
constexpr long sourceApplication = 1;
constexpr long stateAdd = 1;
} // namespace

void WindowCommands::maximize(Window window) const {
    sendToRoot(window, "_NET_WM_STATE", stateAdd,
               XInternAtom(display_, "_NET_WM_STATE_MAXIMIZED_VERT", False),
               XInternAtom(display_, "_NET_WM_STATE_MAXIMIZED_HORZ", False), sourceApplication);
}

void WindowCommands::minimize(Window window) const {
    XIconifyWindow(display_, window, DefaultScreen(display_));
    XFlush(display_);
}

void WindowCommands::close(Window window) const {
    sendToRoot(window, "_NET_CLOSE_WINDOW", CurrentTime, sourceApplication, 0, 0);
}

void WindowCommands::minimizeOthers(Window active) const {
    const long activeProcess = processOf(active);
    const auto clients = readListProperty(display_, DefaultRootWindow(display_),
                                          XInternAtom(display_, "_NET_CLIENT_LIST", False), XA_WINDOW);
    for (const unsigned long item : clients) {
        const auto window = static_cast<Window>(item);
        XWindowAttributes attributes;
        if (window == active || !XGetWindowAttributes(display_, window, &attributes) ||
            attributes.map_state != IsViewable) {
            continue;
        }
        if (activeProcess != 0 && processOf(window) == activeProcess) {
            continue;
        }
        minimize(window);
    }
}

void WindowCommands::sendToRoot(Window window, const char* messageType, long d0, long d1, long d2,
                                long d3) const {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, messageType, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = d0;
    event.xclient.data.l[1] = d1;
    event.xclient.data.l[2] = d2;
    event.xclient.data.l[3] = d3;
    XSendEvent(display_, DefaultRootWindow(display_), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display_);
}

long WindowCommands::processOf(Window window) const {
    const auto pid =
        readListProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL);
    return pid.empty() ? 0 : static_cast<long>(pid.front());
}

} // namespace obx::x11
