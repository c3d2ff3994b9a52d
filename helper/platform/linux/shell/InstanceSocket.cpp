#include "platform/linux/shell/InstanceSocket.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <system_error>
#include <systemd/sd-login.h>
#include <unistd.h>

namespace obx::linuxos {

namespace {

constexpr std::string_view quitRequest = "quit";

struct AbstractAddress {
    sockaddr_un address{};
    socklen_t length = 0;
};

AbstractAddress abstractAddress(const std::string& name) {
    AbstractAddress result;
    result.address.sun_family = AF_UNIX;
    // A leading NUL puts the name in the abstract namespace: no file, and
    // gone with the last descriptor.
    const std::size_t size = std::min(name.size(), sizeof result.address.sun_path - 1);
    std::memcpy(result.address.sun_path + 1, name.data(), size);
    result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);
    return result;
}

std::system_error systemError(const char* what) {
    return std::system_error(errno, std::generic_category(), what);
}

bool peerCredentials(int fd, ucred& credentials) {
    socklen_t size = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0;
}

// A descriptor that becomes readable when the process ends; -1 when the
// process is gone already (or the system cannot watch it).
int processDescriptor(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

void waitReadable(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) >= 0 ||
            errno != EINTR) {
            return;
        }
    }
}

std::string sessionKey() {
    if (const char* id = std::getenv("XDG_SESSION_ID"); id && *id) {
        return id;
    }
    char* session = nullptr;
    if (sd_pid_get_session(0, &session) >= 0 && session) {
        std::string key = session;
        std::free(session);
        return key;
    }
    return "nosession";
}

} // namespace

std::string instanceSocketName(unsigned uid, const std::string& session) {
    return "obxhelper-" + std::to_string(uid) + "-" + session;
}

std::string currentInstanceSocketName() {
    return instanceSocketName(::getuid(), sessionKey());
}

std::unique_ptr<InstanceListener> InstanceListener::claim(const std::string& name) {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        throw systemError("socket");
    }
    const auto address = abstractAddress(name);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EADDRINUSE) {
            return nullptr;
        }
        throw std::system_error(error, std::generic_category(), "bind");
    }
    if (::listen(fd, 8) != 0) {
        const auto error = systemError("listen");
        ::close(fd);
        throw error;
    }
    return std::unique_ptr<InstanceListener>(new InstanceListener(fd));
}

InstanceListener::~InstanceListener() {
    for (int client : clients_) {
        ::close(client);
    }
    ::close(listening_);
}

void InstanceListener::addDescriptors(std::vector<pollfd>& fds) {
    fds.push_back({listening_, POLLIN, 0});
    for (int client : clients_) {
        fds.push_back({client, POLLIN, 0});
    }
}

void InstanceListener::handle(std::span<const pollfd> fds) {
    // Clients first: accept() may add to the list that fds mirrors.
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents != 0 && !readRequest(fds[i].fd)) {
            ::close(fds[i].fd);
            std::erase(clients_, fds[i].fd);
        }
    }
    if (!fds.empty() && (fds[0].revents & POLLIN)) {
        accept();
    }
}

void InstanceListener::accept() {
    const int client = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client >= 0) {
        clients_.push_back(client);
    }
}

bool InstanceListener::readRequest(int client) {
    char message[16];
    const ssize_t size = ::recv(client, message, sizeof message, 0);
    if (size < 0 && (errno == EAGAIN || errno == EINTR)) {
        return true;
    }
    ucred peer{};
    // Only the user's own programs may end the user's helper.
    if (size > 0 && std::string_view(message, static_cast<std::size_t>(size)) == quitRequest &&
        peerCredentials(client, peer) && peer.uid == ::getuid()) {
        quitRequested_ = true;
    }
    return false;
}

void requestQuit(const std::string& name, std::chrono::milliseconds timeout) {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    const auto address = abstractAddress(name);
    ucred peer{};
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) == 0 &&
        peerCredentials(fd, peer)) {
        // Watched before the request goes out, so that the process id cannot
        // name another process by the time the wait starts.
        const int process = processDescriptor(peer.pid);
        if (::send(fd, quitRequest.data(), quitRequest.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(quitRequest.size()) &&
            process >= 0) {
            waitReadable(process, timeout);
        }
        if (process >= 0) {
            ::close(process);
        }
    }
    ::close(fd);
}

} // namespace obx::linuxos
