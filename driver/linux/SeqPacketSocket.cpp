#include "SeqPacketSocket.h"

#include "Log.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace obx::kernd {

namespace {

// Messages taken per readiness report, so that one busy peer cannot hold up the others and the timers.
constexpr int kMessagesPerRound = 16;

[[noreturn]] void fail(const std::filesystem::path& path, const char* what) {
    throw std::runtime_error(path.string() + ": " + what + ": " + std::strerror(errno));
}

sockaddr_un addressOf(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        fail(path, "socket path");
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

UniqueFd newSocket(int flags) {
    return UniqueFd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | flags, 0));
}

bool answers(const sockaddr_un& address) {
    UniqueFd probe = newSocket(0);
    return ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

} // namespace

UniqueFd connectSeqPacket(const std::filesystem::path& path) {
    sockaddr_un address{};
    if (path.string().size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return {};
    }
    address = addressOf(path);
    UniqueFd fd = newSocket(SOCK_NONBLOCK);
    if (fd && ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        fd.reset();
    return fd;
}

namespace {

void removeStaleSocket(const std::filesystem::path& path, const sockaddr_un& address) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return;
    if (!S_ISSOCK(info.st_mode)) {
        errno = EEXIST;
        fail(path, "not a socket");
    }
    if (answers(address)) {
        errno = EADDRINUSE;
        fail(path, "another daemon serves it");
    }
    if (::unlink(path.c_str()) != 0)
        fail(path, "removing the old socket");
    logf(LogLevel::info, "%s: replaced a socket left behind", path.c_str());
}

} // namespace

void removeSocketsLeftBehind(const std::filesystem::path& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const auto& path = entry.path();
        struct stat info {};
        // A name too long for an address is none of ours.
        if (path.native().size() >= sizeof(sockaddr_un::sun_path) || ::lstat(path.c_str(), &info) != 0 ||
            !S_ISSOCK(info.st_mode) || answers(addressOf(path)))
            continue;
        if (::unlink(path.c_str()) == 0)
            logf(LogLevel::info, "%s: removed a socket left behind", path.c_str());
    }
}

SeqPacketListener::SeqPacketListener(EventLoop& loop, std::filesystem::path path,
                                     IConnectionAcceptor& acceptor, mode_t mode,
                                     const std::function<void(const std::filesystem::path&)>& prepare)
    : loop_(loop), path_(std::move(path)), acceptor_(acceptor) {
    const sockaddr_un address = addressOf(path_);
    removeStaleSocket(path_, address);
    // Not a name that clients look for; one left by a daemon that died goes.
    const std::filesystem::path unpublished = path_.string() + ".new";
    const sockaddr_un unpublishedAddress = addressOf(unpublished);
    ::unlink(unpublished.c_str());
    fd_ = newSocket(SOCK_NONBLOCK);
    if (!fd_)
        fail(path_, "socket");
    if (::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&unpublishedAddress),
               sizeof unpublishedAddress) != 0)
        fail(unpublished, "bind");
    try {
        // The mode is the caller's whatever the daemon's umask.
        if (::chmod(unpublished.c_str(), mode) != 0 || ::listen(fd_.get(), SOMAXCONN) != 0)
            fail(unpublished, "listen");
        if (prepare)
            prepare(unpublished);
        if (::rename(unpublished.c_str(), path_.c_str()) != 0)
            fail(path_, "rename");
    } catch (...) {
        ::unlink(unpublished.c_str());
        throw;
    }
    loop_.add(fd_.get(), EPOLLIN, *this);
}

SeqPacketListener::~SeqPacketListener() {
    loop_.remove(fd_.get());
    fd_.reset();
    ::unlink(path_.c_str());
}

void SeqPacketListener::onEvents(uint32_t) {
    for (;;) {
        UniqueFd connection(::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!connection) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED)
                logf(LogLevel::error, "%s: accept: %s", path_.c_str(), std::strerror(errno));
            return;
        }
        acceptor_.accepted(std::move(connection));
    }
}

SeqPacketConnection::SeqPacketConnection(EventLoop& loop, UniqueFd fd, IMessageHandler& handler)
    : loop_(loop), fd_(std::move(fd)), handler_(handler) {
    loop_.add(fd_.get(), EPOLLIN | EPOLLRDHUP, *this);
}

SeqPacketConnection::~SeqPacketConnection() {
    loop_.remove(fd_.get());
}

bool SeqPacketConnection::send(std::span<const uint8_t> message) {
    if (cut_)
        return false;
    if (::send(fd_.get(), message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
        static_cast<ssize_t>(message.size()))
        return true;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        cutOff("the peer does not take its messages");
    else
        cutOff(std::strerror(errno));
    return false;
}

void SeqPacketConnection::cutOff(const char* why) {
    logf(LogLevel::warning, "closing a connection: %s", why);
    cut_ = true;
    // The loop then reports a hang-up, and the owner closes the connection the usual way.
    ::shutdown(fd_.get(), SHUT_RDWR);
}

void SeqPacketConnection::onEvents(uint32_t) {
    for (int i = 0; i < kMessagesPerRound; ++i) {
        if (cut_)
            break;
        const std::span<uint8_t> buffer = handler_.receiveBuffer();
        const ssize_t n = ::recv(fd_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        // An empty message cannot be told from the end of the stream: both end the connection.
        if (n <= 0 || !handler_.onMessage(*this, static_cast<size_t>(n))) {
            cut_ = true;
            break;
        }
    }
    if (cut_)
        handler_.onClosed(*this);
}

} // namespace obx::kernd
