#include "platform/linux/x11/XConnection.h"

#include "base/Log.h"

#include <mutex>

namespace obx::x11 {

namespace {

int logXError(Display* display, XErrorEvent* error) {
    char text[256] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    log(LogLevel::warning, "X error: ", text, " (request ", static_cast<int>(error->request_code), ".",
        static_cast<int>(error->minor_code), ", resource 0x", Hex{error->resourceid}, ")");
    return 0;
}

void installErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] { XSetErrorHandler(logXError); });
}

} // namespace

XConnection::XConnection(const std::string& displayName) {
    installErrorHandler();
    display_ = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display_) {
        log(LogLevel::error, "XConnection - cannot open the X display ",
            displayName.empty() ? "named by DISPLAY" : displayName);
    }
}

XConnection::~XConnection() {
    if (display_) {
        XCloseDisplay(display_);
    }
}

void XConnection::takeUnaskedEvents() const {
    XEvent event;
    while (XEventsQueued(display_, QueuedAfterReading) > 0) {
        XNextEvent(display_, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
        }
    }
}

ServerGrab::ServerGrab(Display* display) : display_(display) {
    XGrabServer(display_);
}

ServerGrab::~ServerGrab() {
    XUngrabServer(display_);
    XSync(display_, False);
}

} // namespace obx::x11
