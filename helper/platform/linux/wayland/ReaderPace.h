#pragma once

// Keeps a long text typed as keys from outrunning the program that reads it.
// A compositor built on libwayland 1.21 (sway, Debian 12) queues a client's
// events in the kernel (about 200 KiB of its memory) and then in a buffer of
// 4 KiB of its own; when that is full too, it cuts the client off ("Lost
// connection to Wayland compositor"). Keys go out far faster (some 40,000
// characters a second) than a busy program reads them, and no protocol
// says when a client has read, but the kernel does: how much of the
// compositor's sends to each client is still unread. So after each batch of
// keys the typing waits until no client holds more than a quarter of its
// buffer unread (or, when it was behind already, more than it held before
// the text). A program that keeps up gets the keys at full speed, a slow
// one at its own pace, and none is cut off.

#include "platform/linux/wayland/CompositorQueues.h"

#include <chrono>
#include <cstddef>
#include <optional>

namespace obx::wayland {

// A program that reads no keys for this long is not typed to any further;
// nor one still behind this long after the text began (keystrokes and
// clicks wait for the text meanwhile).
inline constexpr std::chrono::milliseconds readerStallLimit = std::chrono::seconds(5);
inline constexpr std::chrono::milliseconds readerTextLimit = std::chrono::seconds(60);

class ReaderPace {
public:
    // displayFd: our connection to the compositor. A wait for a client
    // that reads nothing ends after stallLimit, and no wait goes on
    // past textLimit after the text began: the caller holds the keyboard
    // meanwhile.
    ReaderPace(int displayFd, std::chrono::milliseconds stallLimit, std::chrono::milliseconds textLimit);

    // Before a text: what the clients hold unread already; the text's time
    // begins.
    void begin();
    // After a batch of keys went out and the compositor handled it: waits
    // until every client keeps up. False when one stopped reading or the
    // text's time is up.
    bool keepUp();

private:
    CompositorQueues queues_;
    std::chrono::milliseconds stallLimit_;
    std::chrono::milliseconds textLimit_;
    std::chrono::steady_clock::time_point textDeadline_;
    std::optional<ClientQueues> start_;
    std::size_t batches_ = 0;
};

} // namespace obx::wayland
