#include "platform/linux/devices/LinuxDriverChannel.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace obx {

namespace {

// The longest wait for a device control's completion. obxkernd answers them
// at once; one that hangs must not hold the worker, and every HTTP request
// waiting for the worker lock, for longer.
constexpr auto controlTimeout = std::chrono::seconds(5);

// One attempt: obxkernd publishes a socket file only once it listens, so a
// refused connection is a daemon that is gone, not one that is starting.
bool connectTo(int fd, const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const auto text = path.string();
    if (text.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// Waits until the socket is readable or the deadline passed; false on time-out.
bool readableBefore(int fd, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd ready{fd, POLLIN, 0};
        const int n = ::poll(&ready, 1, static_cast<int>(left.count()) + 1);
        if (n > 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            return true; // the receive that follows reports the failure
        }
    }
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

LinuxDriverChannel::LinuxDriverChannel(std::filesystem::path socket) : path_(std::move(socket)) {}

LinuxDriverChannel::~LinuxDriverChannel() {
    close();
}

bool LinuxDriverChannel::open() {
    socket_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    kept_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    readiness_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (socket_ < 0 || kept_ < 0 || readiness_ < 0 || !connectTo(socket_, path_)) {
        close();
        return false;
    }
    epoll_event socketEvent{EPOLLIN, {.fd = socket_}};
    epoll_event keptEvent{EPOLLIN, {.fd = kept_}};
    if (::epoll_ctl(readiness_, EPOLL_CTL_ADD, socket_, &socketEvent) != 0 ||
        ::epoll_ctl(readiness_, EPOLL_CTL_ADD, kept_, &keptEvent) != 0) {
        close();
        return false;
    }
    return true;
}

bool LinuxDriverChannel::send(std::uint32_t id, std::uint32_t kind, std::uint32_t code,
                              std::span<const std::uint8_t> input, std::uint32_t outputLength) {
    std::array<std::uint8_t, wire::kRequestHeaderSize> header{};
    wire::encodeRequestHeader({id, kind, code, static_cast<std::uint32_t>(input.size()), outputLength},
                              header);
    iovec parts[2] = {{header.data(), header.size()},
                      {const_cast<std::uint8_t*>(input.data()), input.size()}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = input.empty() ? 1 : 2;
    const auto total = static_cast<ssize_t>(header.size() + input.size());
    return socket_ >= 0 && ::sendmsg(socket_, &message, MSG_NOSIGNAL | MSG_DONTWAIT) == total;
}

long LinuxDriverChannel::receive() {
    for (;;) {
        const auto length = ::recv(socket_, received_.data(), received_.size(), MSG_DONTWAIT);
        if (length > 0) {
            return length;
        }
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return 0;
        }
        return -1;
    }
}

bool LinuxDriverChannel::keepReadCompletion(const wire::CompletionHeader& header) {
    if (read_ != Read::waiting || header.id != readId_) {
        return false;
    }
    const auto bytes = std::min<std::size_t>(header.information, readBuffer_.size());
    std::copy_n(received_.begin() + wire::kCompletionHeaderSize, bytes, readBuffer_.begin());
    read_ = header.status == 0 ? Read::completed : Read::failed;
    return true;
}

void LinuxDriverChannel::connectionEnded() {
    ended_ = true;
    if (read_ == Read::waiting) {
        read_ = Read::failed;
    }
    // A closed socket stays readable; it must not wake the worker for ever.
    ::epoll_ctl(readiness_, EPOLL_CTL_DEL, socket_, nullptr);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(kept_, &one, sizeof one);
}

std::optional<std::uint32_t> LinuxDriverChannel::control(std::uint32_t code,
                                                         std::span<const std::uint8_t> input,
                                                         std::span<std::uint8_t> output) {
    const auto id = nextId_++;
    if (ended_ ||
        !send(id, wire::kKindDeviceControl, code, input, static_cast<std::uint32_t>(output.size()))) {
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + controlTimeout;
    for (;;) {
        if (!readableBefore(socket_, deadline)) {
            // A daemon that does not answer is taken for gone: its read ends
            // too, and later requests fail at once instead of waiting again.
            connectionEnded();
            return std::nullopt;
        }
        const auto length = receive();
        if (length == 0) {
            continue;
        }
        if (length < 0) {
            connectionEnded();
            return std::nullopt;
        }
        const auto header =
            wire::decodeCompletionHeader(std::span<const std::uint8_t>(received_.data(), length));
        if (!header) {
            continue;
        }
        if (header->id == id) {
            if (header->status != 0) {
                return std::nullopt;
            }
            std::copy_n(received_.begin() + wire::kCompletionHeaderSize,
                        std::min<std::size_t>(header->information, output.size()), output.begin());
            return header->information;
        }
        if (keepReadCompletion(*header)) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(kept_, &one, sizeof one);
        }
    }
}

bool LinuxDriverChannel::queueRead(std::span<std::uint8_t> buffer) {
    readId_ = nextId_++;
    readBuffer_ = buffer;
    if (!send(readId_, wire::kKindRead, 0, {}, static_cast<std::uint32_t>(buffer.size()))) {
        read_ = Read::idle;
        return false;
    }
    read_ = Read::waiting;
    return true;
}

IDriverChannel::ReadState LinuxDriverChannel::takeReadResult() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto taken = ::read(kept_, &count, sizeof count);
    // Everything the socket holds, so that it signals again only for news;
    // its end is taken once and stops the signal.
    while (socket_ >= 0 && !ended_) {
        const auto length = receive();
        if (length == 0) {
            break;
        }
        if (length < 0) {
            connectionEnded();
            break;
        }
        if (const auto header =
                wire::decodeCompletionHeader(std::span<const std::uint8_t>(received_.data(), length))) {
            keepReadCompletion(*header);
        }
    }
    switch (read_) {
    case Read::completed:
        read_ = Read::idle;
        return ReadState::completed;
    case Read::failed:
        return ReadState::failed;
    default:
        return ReadState::pending;
    }
}

void LinuxDriverChannel::close() {
    closeFd(readiness_);
    closeFd(kept_);
    closeFd(socket_);
    if (read_ == Read::waiting) {
        read_ = Read::failed;
    }
}

} // namespace obx
