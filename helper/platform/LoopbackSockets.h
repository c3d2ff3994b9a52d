#pragma once

// What the command server needs of the system for its loopback sockets:
// keeping them from the programs the helper starts, and telling whose
// process is at the other end of a connection. Linux asks the kernel's
// socket diagnostics for the owner, then finds the process holding the
// socket and compares its mount namespace with the user's session's; Windows
// finds the owning process with GetExtendedTcpTable and compares its token's
// user SID (a sandbox there, an AppContainer, has no loopback access unless
// granted).

#include <boost/asio/ip/tcp.hpp>
#include <memory>

namespace obx {

// Marks the descriptor close-on-exec (not inheritable).
void keepFromChildProcesses(boost::asio::ip::tcp::acceptor& acceptor);
void keepFromChildProcesses(boost::asio::ip::tcp::socket& socket);

enum class PeerOwner {
    // Another user, or a process the system cannot tell about.
    anotherUser,
    // The user's process that runs apart from the user's session: in a
    // sandbox (Flatpak, Snap, bubblewrap), or one the system cannot place.
    userOutsideSession,
    user,
};

class PeerOwnerCheck {
public:
    virtual ~PeerOwnerCheck() = default;
    virtual PeerOwner ownerOf(const boost::asio::ip::tcp::socket& socket) = 0;
};

// Holds what it needs open from the start, so that it still answers when
// the process has run out of descriptors. Throws std::system_error.
std::unique_ptr<PeerOwnerCheck> makePeerOwnerCheck();

} // namespace obx
