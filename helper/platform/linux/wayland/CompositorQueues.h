#pragma once

// What a Wayland compositor has sent each of its clients that the client has
// not read yet, as the kernel counts it (socket diagnostics, which any user
// may ask for). The compositor's ends of its client connections carry the
// address of its display socket, which is the peer address of a connection
// of our own.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace obx::wayland {

struct ClientQueue {
    // Kernel memory held by events the client has not read (bytes, with the
    // kernel's bookkeeping).
    std::uint32_t unread = 0;
    // The most the kernel holds for the client before the compositor's sends
    // fail.
    std::uint32_t sendBuffer = 0;
};

// By socket inode.
using ClientQueues = std::map<std::uint32_t, ClientQueue>;

class CompositorQueues {
public:
    // displayFd: a connected client socket of the compositor (wl_display_get_fd).
    explicit CompositorQueues(int displayFd);

    // Empty when the kernel does not tell (no socket diagnostics, or the
    // display socket has no address).
    std::optional<ClientQueues> read() const;

private:
    std::string displayAddress_;
};

} // namespace obx::wayland
