#pragma once

// Keystrokes named by virtual-key codes and modifier masks, as one burst of
// key events on the keys of the current keyboard map.

#include <X11/Xlib.h>
#include <cstdint>

namespace obx::x11 {

class KeystrokeSender {
public:
    explicit KeystrokeSender(Display* display) : display_(display) {}

    void send(std::uint16_t modifiers, std::uint16_t keyCode, bool down, bool modifiersOnly) const;

private:
    Display* display_;
};

} // namespace obx::x11
