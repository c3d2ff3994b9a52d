#pragma once

// The key events of one text, gathered and sent in batches: characters on the
// keyboard map go out on their own keys, the others on lent keycodes. When
// every lendable keycode is held, the batch so far goes out and the burst
// waits until one may be given the next character.

#include "platform/linux/x11/KeyboardMap.h"
#include "platform/linux/x11/LentKeys.h"
#include "platform/linux/x11/XTestInput.h"

#include <optional>
#include <utility>
#include <vector>

namespace obx::x11 {

class TypingBurst {
public:
    TypingBurst(Display* display, LentKeys& keys);

    // Reads the keyboard map again (someone else may have changed it).
    void refreshMap();
    // False when the character can be typed on no key.
    bool tap(KeySymbol keysym);
    // Sends what was gathered and waits until the server has handled it.
    void send();

private:
    void waitForReusableKey();

    Display* display_;
    LentKeys& keys_;
    // Who receives the burst when it starts, if that client answers pings.
    Window receiver_;
    LentKeys::Clock::time_point start_;
    std::optional<KeyboardMap> map_;
    std::vector<std::pair<unsigned, KeySymbol>> remaps_; // before events_
    std::vector<KeyEvent> events_;
};

} // namespace obx::x11
