#pragma once

// Key and button events through the XTest extension. Callers hold the server
// (ServerGrab) around a batch, so that no other client's input lands between
// its events.

#include <X11/Xlib.h>
#include <vector>

namespace obx::x11 {

struct KeyEvent {
    unsigned code;
    bool down;
};

class XTestInput {
public:
    explicit XTestInput(Display* display) : display_(display) {}

    void send(const std::vector<KeyEvent>& events) const;
    void sendButton(unsigned button, bool down) const;

private:
    Display* display_;
};

} // namespace obx::x11
