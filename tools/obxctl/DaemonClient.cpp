#include "DaemonClient.h"

#include "driver/linux/wire/PointingDeviceList.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace obxctl {

namespace {

// The daemon answers from its event loop; a daemon that lets this pass is taken for gone.
constexpr int kAnswerMs = 5000;
constexpr size_t kMaxMessage = 16384;

} // namespace

DaemonClient::DaemonClient() {
    const char* runtime = std::getenv("OBX_RUNTIME_DIR");
    path_ = std::string(runtime != nullptr && *runtime != '\0' ? runtime : "/run/obxkern") + "/" +
            obx::wire::kPointingDeviceSocketName;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path)
        throw DaemonFailure(path_ + ": the path is too long");
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const std::string reason = std::strerror(errno);
        if (fd_ >= 0)
            ::close(fd_);
        throw DaemonFailure("obxkernd cannot be reached at " + path_ + ": " + reason +
                            " (is it serving trackballs? the folder is OBX_RUNTIME_DIR)");
    }
    next(); // the list it sends to every newcomer
}

DaemonClient::~DaemonClient() {
    ::close(fd_);
}

std::string DaemonClient::next() {
    pollfd p{fd_, POLLIN, 0};
    std::string message(kMaxMessage, '\0');
    const ssize_t n = ::poll(&p, 1, kAnswerMs) == 1 ? ::recv(fd_, message.data(), message.size(), 0) : -1;
    if (n <= 0)
        throw DaemonFailure("obxkernd did not answer on " + path_);
    message.resize(static_cast<size_t>(n));
    return message;
}

void DaemonClient::send(const std::string& text) {
    if (::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
        throw DaemonFailure("obxkernd cannot be reached at " + path_ + ": " + std::strerror(errno));
}

std::string DaemonClient::list() {
    send("list");
    return next();
}

void DaemonClient::request(const std::string& text) {
    send(text);
    // Lists that the change makes the daemon send come before the answer.
    for (std::string message = next();; message = next()) {
        switch (obx::wire::pointingDeviceAnswer(message)) {
        case obx::wire::PointingDeviceAnswer::Done:
            return;
        case obx::wire::PointingDeviceAnswer::Refused:
            throw DaemonFailure("obxkernd refused: " + obx::wire::refusalReason(message));
        case obx::wire::PointingDeviceAnswer::Unexpected:
            throw DaemonFailure("unexpected answer from obxkernd: " + message);
        case obx::wire::PointingDeviceAnswer::List:
            break;
        }
    }
}

} // namespace obxctl
