#pragma once

// Types text of any script: characters on the current keyboard map go out on
// their own keys, the rest on spare keycodes lent to them (see LentKeys for
// how long a keycode keeps its character).

#include "platform/linux/x11/KeymapLender.h"

#include <chrono>
#include <string>

namespace obx::x11 {

class TypingBurst;

class TextTyper {
public:
    // hold: how long after its last use a lent keycode keeps its character
    // when the receiving client does not answer pings; also how long typing
    // is idle before every lent keycode goes back.
    TextTyper(const std::string& displayName, std::chrono::milliseconds hold) : lender_(displayName, hold) {}

    void typeText(const std::string& text);

private:
    void typeLine(TypingBurst& burst, const std::string& line) const;

    KeymapLender lender_;
};

} // namespace obx::x11
