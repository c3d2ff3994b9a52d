#include "platform/LoopbackSockets.h"

#include "platform/linux/server/SessionNamespace.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <sys/time.h>
#include <system_error>
#include <unistd.h>

namespace obx {

namespace {

using tcp = boost::asio::ip::tcp;

void setCloseOnExec(int fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

// Address bytes as inet_diag_sockid holds them (network order, IPv4 in the
// first word).
void copyAddress(const boost::asio::ip::address& address, __be32 (&to)[4]) {
    if (address.is_v4()) {
        const auto bytes = address.to_v4().to_bytes();
        std::memcpy(&to[0], bytes.data(), bytes.size());
    } else {
        const auto bytes = address.to_v6().to_bytes();
        std::memcpy(&to[0], bytes.data(), bytes.size());
    }
}

struct PeerSocket {
    uid_t owner;
    std::uint64_t inode;
};

// Asks NETLINK_SOCK_DIAG for the owner and inode of the socket at the far
// end (its own source is our remote endpoint, its destination our local
// one), then for the user's socket where the process holding it runs.
class SockDiagPeerOwnerCheck : public PeerOwnerCheck {
public:
    SockDiagPeerOwnerCheck()
        : sessionNamespace_(linuxos::sessionMountNamespace()),
          fd_(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {
        if (fd_ < 0) {
            throw std::system_error(errno, std::generic_category(), "NETLINK_SOCK_DIAG");
        }
        // The kernel answers while the request is sent; the time-out only
        // guards against a kernel that never does.
        const timeval wait{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~SockDiagPeerOwnerCheck() override { ::close(fd_); }
    SockDiagPeerOwnerCheck(const SockDiagPeerOwnerCheck&) = delete;
    SockDiagPeerOwnerCheck& operator=(const SockDiagPeerOwnerCheck&) = delete;

    PeerOwner ownerOf(const tcp::socket& socket) override {
        boost::system::error_code error;
        const auto local = socket.local_endpoint(error);
        if (error) {
            return PeerOwner::anotherUser;
        }
        const auto remote = socket.remote_endpoint(error);
        if (error) {
            return PeerOwner::anotherUser;
        }
        const auto peer = peerSocket(local, remote);
        if (!peer || peer->owner != ::geteuid()) {
            return PeerOwner::anotherUser;
        }
        return linuxos::socketHeldInSessionOnly(peer->inode, sessionNamespace_)
                   ? PeerOwner::user
                   : PeerOwner::userOutsideSession;
    }

private:
    std::optional<PeerSocket> peerSocket(const tcp::endpoint& local, const tcp::endpoint& remote) {
        struct {
            nlmsghdr header;
            inet_diag_req_v2 request;
        } message{};
        message.header.nlmsg_len = sizeof message;
        message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        message.header.nlmsg_flags = NLM_F_REQUEST;
        message.header.nlmsg_seq = ++sequence_;
        message.request.sdiag_family = remote.address().is_v4() ? AF_INET : AF_INET6;
        message.request.sdiag_protocol = IPPROTO_TCP;
        message.request.idiag_states = ~0u;
        message.request.id.idiag_sport = htons(remote.port());
        message.request.id.idiag_dport = htons(local.port());
        copyAddress(remote.address(), message.request.id.idiag_src);
        copyAddress(local.address(), message.request.id.idiag_dst);
        message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
        message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(fd_, &message, sizeof message, 0, reinterpret_cast<const sockaddr*>(&kernel),
                     sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
            return std::nullopt;
        }
        // A late answer to an earlier request that timed out is skipped.
        for (int tries = 0; tries < 4; ++tries) {
            ssize_t received;
            do {
                received = ::recv(fd_, reply_.data(), reply_.size(), 0);
            } while (received < 0 && errno == EINTR);
            if (received <= 0) {
                return std::nullopt;
            }
            nlmsghdr header;
            if (static_cast<std::size_t>(received) < sizeof header) {
                return std::nullopt;
            }
            std::memcpy(&header, reply_.data(), sizeof header);
            if (header.nlmsg_seq != sequence_) {
                continue;
            }
            if (header.nlmsg_type != SOCK_DIAG_BY_FAMILY ||
                header.nlmsg_len > static_cast<std::size_t>(received) ||
                header.nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
                return std::nullopt; // NLMSG_ERROR: no such socket
            }
            inet_diag_msg found;
            std::memcpy(&found, reply_.data() + NLMSG_HDRLEN, sizeof found);
            return PeerSocket{found.idiag_uid, found.idiag_inode};
        }
        return std::nullopt;
    }

    std::string sessionNamespace_;
    int fd_;
    std::uint32_t sequence_ = 0;
    std::array<char, 8192> reply_{};
};

} // namespace

void keepFromChildProcesses(tcp::acceptor& acceptor) {
    setCloseOnExec(acceptor.native_handle());
}

void keepFromChildProcesses(tcp::socket& socket) {
    setCloseOnExec(socket.native_handle());
}

std::unique_ptr<PeerOwnerCheck> makePeerOwnerCheck() {
    return std::make_unique<SockDiagPeerOwnerCheck>();
}

} // namespace obx
