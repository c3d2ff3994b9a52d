#pragma once

// Window commands as requests to the window manager (EWMH and ICCCM), which
// carries them out; nothing here moves a window itself.

#include <X11/Xlib.h>

namespace obx::x11 {

class WindowCommands {
public:
    explicit WindowCommands(Display* display) : display_(display) {}

    void maximize(Window window) const;
    void minimize(Window window) const;
    void close(Window window) const;
    // Minimizes every visible managed window other than the active one and
    // the windows of the active one's process.
    void minimizeOthers(Window active) const;

private:
    void sendToRoot(Window window, const char* messageType, long d0, long d1, long d2, long d3) const;
    long processOf(Window window) const;

    Display* display_;
};

} // namespace obx::x11
