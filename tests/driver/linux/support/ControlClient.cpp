#include "ControlClient.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>

namespace obx::kernd {

namespace {

// The largest completion: the header and a 64 KiB output.
constexpr size_t kMaxCompletion = wire::kCompletionHeaderSize + 64 * 1024;

} // namespace

ControlClient::ControlClient(const std::filesystem::path& socket)
    : fd_(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socket.string();
    if (!fd_ || path.size() >= sizeof address.sun_path)
        throw std::runtime_error(path + ": cannot make a socket for it");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error(path + ": " + std::strerror(errno));
}

uint32_t ControlClient::submit(uint32_t kind, uint32_t code, std::span<const uint8_t> input,
                               uint32_t outputLength) {
    const uint32_t id = nextId_++;
    std::vector<uint8_t> message(wire::kRequestHeaderSize + input.size());
    wire::encodeRequestHeader({id, kind, code, static_cast<uint32_t>(input.size()), outputLength},
                              std::span(message).first<wire::kRequestHeaderSize>());
    std::copy(input.begin(), input.end(), message.begin() + wire::kRequestHeaderSize);
    if (::send(fd_.get(), message.data(), message.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(message.size()))
        closed_ = true;
    return id;
}

std::optional<WireCompletion> ControlClient::waitFor(uint32_t id, std::chrono::milliseconds timeout) {
    const auto found = std::find_if(early_.begin(), early_.end(), [&](const auto& c) { return c.id == id; });
    if (found != early_.end()) {
        WireCompletion c = std::move(*found);
        early_.erase(found);
        return c;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::optional<WireCompletion> c = receive(deadline)) {
        if (c->id == id)
            return c;
        early_.push_back(std::move(*c));
    }
    return std::nullopt;
}

std::optional<WireCompletion> ControlClient::next(std::chrono::milliseconds timeout) {
    if (!early_.empty()) {
        WireCompletion c = std::move(early_.front());
        early_.pop_front();
        return c;
    }
    return receive(std::chrono::steady_clock::now() + timeout);
}

std::optional<WireCompletion> ControlClient::control(uint32_t code, std::span<const uint8_t> input,
                                                     uint32_t outputLength,
                                                     std::chrono::milliseconds timeout) {
    return waitFor(submit(wire::kKindDeviceControl, code, input, outputLength), timeout);
}

std::optional<WireCompletion> ControlClient::receive(std::chrono::steady_clock::time_point deadline) {
    if (closed_)
        return std::nullopt;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        std::vector<uint8_t> message(kMaxCompletion);
        const ssize_t n = ::recv(fd_.get(), message.data(), message.size(), 0);
        if (n <= 0) {
            closed_ = true;
            return std::nullopt;
        }
        message.resize(static_cast<size_t>(n));
        const std::optional<wire::CompletionHeader> header = wire::decodeCompletionHeader(message);
        if (!header)
            return std::nullopt;
        return WireCompletion{
            header->id, header->status,
            std::vector<uint8_t>(message.begin() + wire::kCompletionHeaderSize, message.end())};
    }
}

} // namespace obx::kernd
