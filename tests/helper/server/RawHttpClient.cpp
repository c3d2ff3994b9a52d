#include "RawHttpClient.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/write.hpp>
#include <poll.h>
#include <sys/socket.h>

namespace obx::test {

using boost::asio::ip::tcp;

RawHttpClient::RawHttpClient(std::uint16_t port) : socket_(io_) {
    socket_.connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), port));
}

void RawHttpClient::send(const std::string& bytes) {
    boost::asio::write(socket_, boost::asio::buffer(bytes));
}

bool RawHttpClient::trySend(const std::string& bytes) {
    return ::send(socket_.native_handle(), bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

bool RawHttpClient::fill(std::chrono::milliseconds timeout) {
    pollfd fd{socket_.native_handle(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) {
        return false;
    }
    char chunk[4096];
    boost::system::error_code error;
    const auto read = socket_.read_some(boost::asio::buffer(chunk), error);
    if (error || read == 0) {
        return false;
    }
    pending_.append(chunk, read);
    return true;
}

std::optional<std::string> RawHttpClient::readResponse() {
    using namespace std::chrono_literals;
    for (;;) {
        const auto headerEnd = pending_.find("\n\n");
        if (headerEnd != std::string::npos) {
            const auto lengthAt = pending_.find("Content-Length: ");
            if (lengthAt != std::string::npos && lengthAt < headerEnd) {
                const auto length = std::stoul(pending_.substr(lengthAt + 16));
                const auto total = headerEnd + 2 + length;
                if (pending_.size() >= total) {
                    auto response = pending_.substr(0, total);
                    pending_.erase(0, total);
                    return response;
                }
            }
        }
        if (!fill(10s)) {
            return std::nullopt;
        }
    }
}

bool RawHttpClient::closedByServer() {
    using namespace std::chrono_literals;
    while (fill(10s)) {
    }
    pollfd fd{socket_.native_handle(), POLLIN, 0};
    if (::poll(&fd, 1, 0) <= 0) {
        return false;
    }
    char byte;
    return ::recv(socket_.native_handle(), &byte, 1, MSG_PEEK) == 0;
}

std::string httpRequest(const std::string& method, const std::string& target, const std::string& body,
                        const std::string& extraHeaders) {
    std::string bytes = method + " " + target + " HTTP/1.1\r\n" + extraHeaders;
    if (!body.empty()) {
        bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    return bytes + "\r\n" + body;
}

} // namespace obx::test
