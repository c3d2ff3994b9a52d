#pragma once

// What the command server needs of the system for its loopback sockets:
// keeping them from the programs the helper starts, and telling whose
// process is at the other end of a connection. Linux asks the kernel's
// socket diagnostics; a Windows implementation would find the owning
// process with GetExtendedTcpTable and compare its token's user SID.

#include <boost/asio/ip/tcp.hpp>
#include <memory>

namespace obx {

// Marks the descriptor close-on-exec (not inheritable).
void keepFromChildProcesses(boost::asio::ip::tcp::acceptor& acceptor);
void keepFromChildProcesses(boost::asio::ip::tcp::socket& socket);

class PeerOwnerCheck {
public:
    virtual ~PeerOwnerCheck() = default;
    // True when the process at the other end of this loopback connection
    // runs as the user of this process. False when it does not, or when the
    // system cannot tell (the connection is then refused).
    virtual bool peerIsOwnUser(const boost::asio::ip::tcp::socket& socket) = 0;
};

// Holds what it needs open from the start, so that it still answers when
// the process has run out of descriptors. Throws std::system_error.
std::unique_ptr<PeerOwnerCheck> makePeerOwnerCheck();

} // namespace obx
