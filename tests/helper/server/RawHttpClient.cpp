#include "RawHttpClient.h"

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/write.hpp>
#include <utility>

namespace obx::test {

using boost::asio::ip::tcp;

RawHttpClient::RawHttpClient(std::uint16_t port) : RawHttpClient(port, Deferred{}) {
    connect();
}

RawHttpClient::RawHttpClient(std::uint16_t port, Deferred) : socket_(io_), port_(port) {
    socket_.open(tcp::v4());
}

void RawHttpClient::connect() {
    socket_.connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), port_));
}

void RawHttpClient::send(const std::string& bytes) {
    boost::asio::write(socket_, boost::asio::buffer(bytes));
}

bool RawHttpClient::trySend(const std::string& bytes) {
    // Asio sends without SIGPIPE, so a peer that has gone is an error here.
    boost::system::error_code error;
    boost::asio::write(socket_, boost::asio::buffer(bytes), error);
    return !error;
}

bool RawHttpClient::fill(std::chrono::milliseconds timeout) {
    char chunk[4096];
    boost::system::error_code error;
    std::size_t read = 0;
    bool done = false;
    socket_.async_read_some(boost::asio::buffer(chunk),
                            [&](const boost::system::error_code& result, std::size_t count) {
                                error = result;
                                read = count;
                                done = true;
                            });
    io_.restart();
    io_.run_for(timeout);
    if (!done) {
        // The read must end before chunk goes; bytes that raced the
        // cancellation are kept.
        socket_.cancel();
        io_.restart();
        io_.run();
    }
    pending_.append(chunk, read);
    closed_ = error == boost::asio::error::eof || error == boost::asio::error::connection_reset;
    return done && !error && read > 0;
}

std::optional<std::string> RawHttpClient::readResponse() {
    using namespace std::chrono_literals;
    for (;;) {
        // The API ends its lines with a line feed alone, the page's answers with a carriage return too.
        const auto bare = pending_.find("\n\n");
        const auto full = pending_.find("\r\n\r\n");
        const auto headerEnd = std::min(bare, full);
        if (headerEnd != std::string::npos) {
            const auto bodyStart = headerEnd + (headerEnd == full ? 4 : 2);
            const auto lengthAt = pending_.find("Content-Length: ");
            // Without a length (a 304), the answer has no body.
            const auto length = lengthAt != std::string::npos && lengthAt < headerEnd
                                    ? std::stoul(pending_.substr(lengthAt + 16))
                                    : 0;
            const auto total = bodyStart + length;
            if (pending_.size() >= total) {
                auto response = pending_.substr(0, total);
                pending_.erase(0, total);
                return response;
            }
        }
        if (!fill(10s)) {
            return std::nullopt;
        }
    }
}

std::optional<std::string> RawHttpClient::readUntil(const std::string& marker,
                                                    std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const auto found = pending_.find(marker);
        if (found != std::string::npos) {
            auto bytes = pending_.substr(0, found + marker.size());
            pending_.erase(0, found + marker.size());
            return bytes;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (closed_ || left.count() <= 0 || !fill(left)) {
            return std::nullopt;
        }
    }
}

std::optional<std::string> RawHttpClient::readToClose(std::chrono::milliseconds patience) {
    while (fill(patience)) {
    }
    if (!closed_) {
        return std::nullopt;
    }
    return std::exchange(pending_, {});
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
