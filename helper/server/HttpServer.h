#pragma once

// A small HTTP/1.1 server on one thread: routes by method and whole-path
// regular expression, one default handler per method, raw response bytes
// from the handlers. Connections are kept alive as HTTP/1.1 says. The
// number of open connections is bounded: a new one displaces the connection
// that has waited longest for its next request, and is refused when every
// connection is busy. Accepting goes on after any failure.

#include "server/QueryParameters.h"

#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace obx {

struct HttpRequest {
    std::string method;
    std::string path;
    QueryParameters query;
    std::string body;
};

// Returns the complete response bytes.
using HttpHandler = std::function<std::string(const HttpRequest&)>;

struct HttpServerLimits {
    std::chrono::milliseconds requestTimeout{5000};   // request line and headers, also between requests
    std::chrono::milliseconds contentTimeout{300000}; // the body, and writing the answer
    std::size_t headerSizeLimit = 1024 * 1024;
    // Above every document the helper writes itself (a whole settings
    // document with thousands of profiles passes 1 MiB).
    std::size_t bodySizeLimit = 64 * 1024 * 1024;
    std::size_t connectionLimit = 32;
};

// Decides, at a connection's first request, whether it may be served; a
// refused one is answered 403 "Request origin not allowed".
using ConnectionCheck = std::function<bool(const boost::asio::ip::tcp::socket&)>;

class HttpServer {
public:
    HttpServer(std::string address, std::uint16_t port, HttpServerLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    void addRoute(std::string method, const std::string& pattern, HttpHandler handler);
    void setDefaultHandler(std::string method, HttpHandler handler);
    // Without one every connection is served.
    void setConnectionCheck(ConnectionCheck check);

    // Binds, listens and serves on the calling thread until stop(); throws
    // boost::system::system_error when the port cannot be opened.
    void run();
    // From any thread: closes the listener and every connection.
    void stop();

    // The port actually bound (useful with port 0); waits until run() has
    // bound or failed, 0 after a failure.
    std::uint16_t waitUntilListening();

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace obx
