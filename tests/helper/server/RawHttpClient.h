#pragma once

// A loopback client that sends raw bytes and reads raw responses, so tests
// see exactly what the server writes.

#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <optional>
#include <string>

namespace obx::test {

class RawHttpClient {
public:
    explicit RawHttpClient(std::uint16_t port);
    // Holds an open socket (every descriptor it needs) but connects only at
    // connect(): for tests that take descriptors away in between.
    struct Deferred {};
    RawHttpClient(std::uint16_t port, Deferred);
    void connect();

    void send(const std::string& bytes);
    // As send, but false instead of an exception when the server has closed.
    bool trySend(const std::string& bytes);
    // One whole response (headers up to the blank line, then Content-Length
    // bytes); nullopt when the server closed the connection first.
    std::optional<std::string> readResponse();
    // Every byte not yet taken by readResponse, up to the server's close; nullopt when nothing
    // arrives for patience while the connection stays open.
    std::optional<std::string> readToClose(std::chrono::milliseconds patience = std::chrono::seconds(10));
    // The bytes up to and including the first marker, for answers without an end such as an event
    // stream; nullopt when the marker has not come within patience, or the server closed first.
    std::optional<std::string> readUntil(const std::string& marker,
                                         std::chrono::milliseconds patience = std::chrono::seconds(10));
    // True when the server closes the connection within the time-out.
    bool closedByServer() { return readToClose().has_value(); }

    std::optional<std::string> request(const std::string& bytes) {
        send(bytes);
        return readResponse();
    }

private:
    // Reads what arrives within timeout; false when nothing did.
    bool fill(std::chrono::milliseconds timeout);

    boost::asio::io_context io_;
    boost::asio::ip::tcp::socket socket_;
    std::uint16_t port_;
    std::string pending_;
    // The last read found the stream ended (or reset) by the server.
    bool closed_ = false;
};

// "GET /path HTTP/1.1\r\n" + headers + "\r\n" + body, with Content-Length when a body is given.
std::string httpRequest(const std::string& method, const std::string& target, const std::string& body = "",
                        const std::string& extraHeaders = "");

} // namespace obx::test
