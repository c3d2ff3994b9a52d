#pragma once

// The keycodes lent to typed text, on a display connection of their own, and
// the thread that gives them back once typing has been idle for the hold.
// Whatever way the typing ends (done, or by an exception), the keycodes it
// lent stay recorded, so they go back when idle and at the latest on
// destruction, which waits out the hold first.

#include "platform/linux/x11/LentKeys.h"
#include "platform/linux/x11/XConnection.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace obx::x11 {

class KeymapLender {
public:
    KeymapLender(const std::string& displayName, std::chrono::milliseconds hold);
    ~KeymapLender();
    KeymapLender(const KeymapLender&) = delete;
    KeymapLender& operator=(const KeymapLender&) = delete;

    bool valid() const { return connection_.valid(); }

    // Runs the body alone with the connection and the lent keycodes. The
    // keycodes it used count as delivered when it ends, however it ends.
    void use(const std::function<void(Display*, LentKeys&)>& body);

private:
    void run();
    // With the lock held.
    void giveBack();

    XConnection connection_;
    LentKeys keys_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread restorer_;
};

// The keyboard-map row of a keycode lent to the keysym: both levels carry it,
// so that a held Shift or Caps Lock cannot change it.
std::vector<KeySymbol> lentRow(KeySymbol keysym, int symbolsPerKeycode);

class KeyboardMap;

// Tells the lent keys what the fresh map shows: which keycodes carry nothing,
// which lent ones still carry their character (the server may repeat it in
// the second group's columns).
void refreshLentKeys(LentKeys& keys, const KeyboardMap& map);

// Sends the new row of a keycode.
void remapKeycode(Display* display, unsigned code, const std::vector<KeySymbol>& row);

} // namespace obx::x11
