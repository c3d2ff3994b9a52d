#include "platform/linux/wayland/CompositorQueues.h"

#include <array>
#include <cstddef>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace obx::wayland {

namespace {

// A desktop has some thousands of sockets, some hundred bytes each in the
// answer; beyond this the answer is not waited for.
constexpr std::size_t answerLimit = 16 * 1024 * 1024;
constexpr timeval answerTimeout{1, 0};

// Path addresses end in a zero, abstract ones begin with one.
std::string addressText(const char* data, std::size_t size) {
    while (size > 0 && data[size - 1] == '\0') {
        --size;
    }
    return std::string(data, size);
}

class DiagnosticsSocket {
public:
    DiagnosticsSocket() : fd_(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {
        if (fd_ >= 0) {
            setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &answerTimeout, sizeof answerTimeout);
        }
    }
    ~DiagnosticsSocket() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    DiagnosticsSocket(const DiagnosticsSocket&) = delete;
    DiagnosticsSocket& operator=(const DiagnosticsSocket&) = delete;

    int fd() const { return fd_; }

private:
    int fd_;
};

// One connection from the answer, when it has the address.
void addConnection(const nlmsghdr& header, const std::string& address, ClientQueues& queues) {
    if (header.nlmsg_len < NLMSG_LENGTH(sizeof(unix_diag_msg))) {
        return;
    }
    const auto& message = *static_cast<const unix_diag_msg*>(NLMSG_DATA(&header));
    int length = static_cast<int>(header.nlmsg_len - NLMSG_LENGTH(sizeof message));
    bool named = false;
    std::optional<ClientQueue> queue;
    for (auto* attribute = reinterpret_cast<const rtattr*>(&message + 1); RTA_OK(attribute, length);
         attribute = RTA_NEXT(attribute, length)) {
        const auto* data = static_cast<const char*>(RTA_DATA(attribute));
        const auto size = static_cast<std::size_t>(RTA_PAYLOAD(attribute));
        if (attribute->rta_type == UNIX_DIAG_NAME) {
            named = addressText(data, size) == address;
        } else if (attribute->rta_type == UNIX_DIAG_MEMINFO && size >= SK_MEMINFO_SNDBUF * 4 + 4) {
            const auto* figures = reinterpret_cast<const std::uint32_t*>(data);
            queue = ClientQueue{figures[SK_MEMINFO_WMEM_ALLOC], figures[SK_MEMINFO_SNDBUF]};
        }
    }
    if (named && queue) {
        queues[message.udiag_ino] = *queue;
    }
}

} // namespace

CompositorQueues::CompositorQueues(int displayFd) {
    sockaddr_un peer{};
    socklen_t size = sizeof peer;
    if (getpeername(displayFd, reinterpret_cast<sockaddr*>(&peer), &size) == 0 &&
        peer.sun_family == AF_UNIX && size > offsetof(sockaddr_un, sun_path)) {
        displayAddress_ = addressText(peer.sun_path, size - offsetof(sockaddr_un, sun_path));
    }
}

std::optional<ClientQueues> CompositorQueues::read() const {
    if (displayAddress_.empty()) {
        return std::nullopt;
    }
    const DiagnosticsSocket diagnostics;
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } question{};
    question.header.nlmsg_len = sizeof question;
    question.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    question.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    question.request.sdiag_family = AF_UNIX;
    question.request.udiag_states = 1u << TCP_ESTABLISHED;
    question.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_MEMINFO;
    if (diagnostics.fd() < 0 || send(diagnostics.fd(), &question, sizeof question, 0) != sizeof question) {
        return std::nullopt;
    }
    ClientQueues queues;
    alignas(nlmsghdr) std::array<char, 32768> answer;
    for (std::size_t total = 0; total < answerLimit;) {
        const ssize_t got = recv(diagnostics.fd(), answer.data(), answer.size(), 0);
        if (got <= 0) {
            return std::nullopt;
        }
        total += static_cast<std::size_t>(got);
        int length = static_cast<int>(got);
        for (auto* header = reinterpret_cast<const nlmsghdr*>(answer.data()); NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == NLMSG_DONE) {
                return queues;
            }
            if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY) {
                return std::nullopt; // NLMSG_ERROR: no unix socket diagnostics
            }
            addConnection(*header, displayAddress_, queues);
        }
    }
    return std::nullopt;
}

} // namespace obx::wayland
