#pragma once

// Types text of any script: characters on the current keyboard map go out on
// their own keys, the rest on spare keycodes that carry the character only
// while it is typed.

#include "platform/linux/x11/XTestInput.h"

#include <chrono>
#include <string>

namespace obx::x11 {

class TextTyper {
public:
    // settle: how long lent keycodes keep their character after the burst,
    // so that clients translate the key events before the map changes back.
    TextTyper(Display* display, std::chrono::milliseconds settle) : display_(display), settle_(settle) {}

    void typeText(const std::string& text) const;

private:
    void typeLine(const std::string& line) const;
    void pressEnter() const;

    Display* display_;
    std::chrono::milliseconds settle_;
};

} // namespace obx::x11
