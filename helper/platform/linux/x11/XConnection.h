#pragma once

// One Xlib connection with the error handling the helper needs: an X protocol
// error is logged and never ends the process (Xlib's default handler exits).

#include <X11/Xlib.h>
#include <string>

namespace obx::x11 {

class XConnection {
public:
    // Opens the display named (empty: $DISPLAY). A failure leaves the object
    // without a display, which every user checks through valid().
    explicit XConnection(const std::string& displayName = {});
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    bool valid() const { return display_ != nullptr; }
    Display* display() const { return display_; }
    Window root() const { return DefaultRootWindow(display_); }
    Atom atom(const char* name) const { return XInternAtom(display_, name, False); }
    // Takes the events the connection has received without asking: the server
    // sends every client a notice of each keyboard-map change, and the round
    // trips of the requests queue them. Taking them keeps the queue bounded and
    // Xlib's keysym-to-keycode table on the current map.
    void takeUnaskedEvents() const;

private:
    Display* display_ = nullptr;
};

// Holds the server for the lifetime of the object, so that the requests sent
// meanwhile reach the server without another client's requests in between.
class ServerGrab {
public:
    explicit ServerGrab(Display* display);
    ~ServerGrab();
    ServerGrab(const ServerGrab&) = delete;
    ServerGrab& operator=(const ServerGrab&) = delete;

private:
    Display* display_;
};

} // namespace obx::x11
