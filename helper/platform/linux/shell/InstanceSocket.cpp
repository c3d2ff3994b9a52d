#include "platform/linux/shell/InstanceSocket.h"

#include "base/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <system_error>
#include <systemd/sd-login.h>
#include <unistd.h>

namespace obx::linuxos {

namespace {

constexpr std::string_view quitRequest = "quit";

std::system_error systemError(const char* what) {
    return std::system_error(errno, std::generic_category(), what);
}

// A folder of this user that nobody else may enter.
bool isPrivateFolder(const std::filesystem::path& folder) {
    struct stat status {};
    return ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

struct SocketAddress {
    sockaddr_un address{};
    socklen_t length = 0;
};

SocketAddress socketAddress(const std::filesystem::path& path) {
    SocketAddress result;
    result.address.sun_family = AF_UNIX;
    const std::string& text = path.native();
    if (text.size() >= sizeof result.address.sun_path) {
        throw std::system_error(ENAMETOOLONG, std::generic_category(), "instance socket path");
    }
    std::memcpy(result.address.sun_path, text.data(), text.size());
    result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + text.size() + 1);
    return result;
}

bool peerCredentials(int fd, ucred& credentials) {
    socklen_t size = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0;
}

bool peerIsOwnUser(int fd) {
    ucred peer{};
    return peerCredentials(fd, peer) && peer.uid == ::geteuid();
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

int millisecondsUntil(std::chrono::steady_clock::time_point when, std::chrono::steady_clock::time_point now) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, 60000));
}

} // namespace

std::filesystem::path privateRuntimeFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        if (isPrivateFolder(runtime)) {
            return runtime;
        }
    }
    const std::filesystem::path fallback = "/tmp/obxhelper-" + std::to_string(::geteuid());
    if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
        throw systemError("mkdir");
    }
    if (!isPrivateFolder(fallback)) {
        throw std::system_error(EPERM, std::generic_category(),
                                fallback.string() + " is not a private folder");
    }
    return fallback;
}

std::filesystem::path instanceSocketPath(const std::filesystem::path& folder, const std::string& session) {
    return folder / ("obxhelper-" + session);
}

std::filesystem::path currentInstanceSocketPath() {
    return instanceSocketPath(privateRuntimeFolder(), sessionKey());
}

std::unique_ptr<InstanceListener> InstanceListener::claim(const std::filesystem::path& socket,
                                                          InstanceLimits limits) {
    const auto address = socketAddress(socket);
    const std::filesystem::path lockPath = socket.string() + ".lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) {
        throw systemError("open");
    }
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(lock);
        if (error == EWOULDBLOCK) {
            return nullptr;
        }
        throw std::system_error(error, std::generic_category(), "flock");
    }
    // Who holds the mark, for a later start to name; only the holder writes it.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(lock, 0) != 0 ||
        ::pwrite(lock, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        log(LogLevel::warning, "Cannot write the process id into ", lockPath.string());
    }
    // A socket file left by an instance that ended without cleaning up.
    ::unlink(socket.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0 ||
        ::listen(fd, 8) != 0) {
        const auto error = systemError("instance socket");
        if (fd >= 0) {
            ::close(fd);
        }
        ::close(lock);
        throw error;
    }
    return std::unique_ptr<InstanceListener>(new InstanceListener(lock, fd, socket, limits));
}

pid_t InstanceListener::holder(const std::filesystem::path& socket) {
    const std::string lockPath = socket.string() + ".lock";
    const int lock = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (lock < 0) {
        return 0;
    }
    char text[16] = {};
    const ssize_t length = ::read(lock, text, sizeof text - 1);
    ::close(lock);
    if (length <= 0) {
        return 0;
    }
    const long pid = std::strtol(text, nullptr, 10);
    return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

InstanceListener::~InstanceListener() {
    for (auto& client : clients_) {
        ::close(client.fd);
    }
    ::close(listening_);
    // Removed while the lock is still held, so that it never removes the
    // socket of a newer instance.
    ::unlink(socket_.c_str());
    ::close(lock_);
}

void InstanceListener::addDescriptors(std::vector<pollfd>& fds) {
    const bool paused = Clock::now() < acceptPausedUntil_;
    fds.push_back({listening_, static_cast<short>(paused ? 0 : POLLIN), 0});
    for (auto& client : clients_) {
        fds.push_back({client.fd, POLLIN, 0});
    }
}

int InstanceListener::timeoutMs() {
    const auto now = Clock::now();
    int timeout = now < acceptPausedUntil_ ? millisecondsUntil(acceptPausedUntil_, now) : -1;
    if (!clients_.empty()) {
        // The oldest connection's deadline comes first.
        const int client = millisecondsUntil(clients_.front().deadline, now);
        timeout = timeout < 0 ? client : std::min(timeout, client);
    }
    return timeout;
}

void InstanceListener::handle(std::span<const pollfd> fds) {
    // Clients first: accepting changes the list that fds mirrors.
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents != 0 && !readRequest(fds[i].fd)) {
            closeClient(fds[i].fd);
        }
    }
    const auto now = Clock::now();
    while (!clients_.empty() && clients_.front().deadline <= now) {
        closeOldestClient();
    }
    if (!fds.empty() && (fds[0].revents & POLLIN) && now >= acceptPausedUntil_) {
        acceptPending(now);
    }
}

void InstanceListener::acceptPending(Clock::time_point now) {
    // Bounded, so that a flood cannot hold the main loop here.
    for (std::size_t round = 0; round < limits_.clients; ++round) {
        const int client = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                closeOldestClient();
                acceptPausedUntil_ = now + limits_.acceptPause;
            }
            return;
        }
        if (!peerIsOwnUser(client)) {
            ::close(client);
            continue;
        }
        if (clients_.size() >= limits_.clients) {
            closeOldestClient();
        }
        clients_.push_back({client, now + limits_.requestTimeout});
    }
}

void InstanceListener::closeOldestClient() {
    if (!clients_.empty()) {
        ::close(clients_.front().fd);
        clients_.erase(clients_.begin());
    }
}

void InstanceListener::closeClient(int fd) {
    ::close(fd);
    std::erase_if(clients_, [fd](const Client& client) { return client.fd == fd; });
}

bool InstanceListener::readRequest(int client) {
    char message[16];
    const ssize_t size = ::recv(client, message, sizeof message, 0);
    if (size < 0 && (errno == EAGAIN || errno == EINTR)) {
        return true;
    }
    // Only the user's own programs may end the user's helper.
    if (size > 0 && std::string_view(message, static_cast<std::size_t>(size)) == quitRequest &&
        peerIsOwnUser(client)) {
        quitRequested_ = true;
    }
    return false;
}

void requestQuit(const std::filesystem::path& socket, std::chrono::milliseconds timeout) {
    SocketAddress address;
    try {
        address = socketAddress(socket);
    } catch (const std::system_error&) {
        return;
    }
    // Non-blocking: a full backlog must not hold the caller.
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return;
    }
    ucred peer{};
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) == 0 &&
        peerCredentials(fd, peer) && peer.uid == ::geteuid()) {
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
