#pragma once

// Asks the client that receives keyboard input to echo an EWMH ping
// (_NET_WM_PING). A client handles its events in order, so its answer proves
// that it has read every key event that reached it before the ping.

#include <X11/Xlib.h>
#include <chrono>

namespace obx::x11 {

// The window of the client that receives keyboard input, if that client
// takes pings: the focused window or the nearest of its ancestors that has
// _NET_WM_PING among its WM_PROTOCOLS. None otherwise.
Window pingableFocus(Display* display);

class FocusPing {
public:
    using Clock = std::chrono::steady_clock;

    // Sends the ping to the client's window (from pingableFocus); the
    // connection watches the root window until destruction.
    FocusPing(Display* display, Window client);
    ~FocusPing();
    FocusPing(const FocusPing&) = delete;
    FocusPing& operator=(const FocusPing&) = delete;

    // Waits for the answer until the deadline at the latest; false without
    // an answer.
    bool answered(Clock::time_point deadline);
    // When the ping left, after everything sent before it had reached the
    // server.
    Clock::time_point sentAt() const { return sentAt_; }

private:
    bool isAnswer(const XEvent& event) const;

    Display* display_;
    Atom protocols_;
    Atom ping_;
    Window client_;
    long token_ = 0;
    Clock::time_point sentAt_{};
};

} // namespace obx::x11
