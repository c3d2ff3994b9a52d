#pragma once

// A small HTTP/1.1 server on one thread: routes by method and whole-path
// regular expression, one default handler per method, raw response bytes
// from the handlers. Connections are kept alive as HTTP/1.1 says.

#include "server/QueryParameters.h"

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
    std::chrono::seconds requestTimeout{5};     // request line and headers, also between requests
    std::chrono::seconds contentTimeout{300};   // the body
    std::size_t requestSizeLimit = 1024 * 1024; // headers and body, each
};

class HttpServer {
public:
    HttpServer(std::string address, std::uint16_t port, HttpServerLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    void addRoute(std::string method, const std::string& pattern, HttpHandler handler);
    void setDefaultHandler(std::string method, HttpHandler handler);

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
