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
#include <string_view>
#include <vector>

namespace obx {

struct HttpRequest {
    std::string method;
    std::string path;
    QueryParameters query;
    std::string body;
    // The If-None-Match header, for answers that can be revalidated.
    std::optional<std::string> ifNoneMatch;
    // The If-Match header, for changes made only to what the client saw.
    std::optional<std::string> ifMatch;
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

// The one server-sent event stream of a server. A subscriber past the limit
// is answered 503; one that does not read is dropped once its unsent data
// passes unsentLimit, so that a stalled client costs a bounded amount of
// memory; a comment every keepAliveInterval finds subscribers that went away.
struct EventStreamLimits {
    std::size_t subscriberLimit = 4;
    std::size_t unsentLimit = 64 * 1024;
    std::chrono::milliseconds keepAliveInterval{15000};
};

// The first event(s) a new subscriber gets, complete with their blank lines.
using EventStreamOpening = std::function<std::string()>;

// What a connection's peer may ask, decided at its first request.
enum class PeerAdmission {
    refused,        // every request is answered 403 "Request origin not allowed"
    withCredential, // each request must pass the credential check, else 403
    admitted,
};
using ConnectionCheck = std::function<PeerAdmission(const boost::asio::ip::tcp::socket&)>;

// For a connection admitted withCredential: whether the request, with its
// Authorization header (nullopt when absent), may be served.
using CredentialCheck = std::function<bool(std::string_view method, std::string_view path,
                                           std::optional<std::string_view> authorization)>;

class HttpServer {
public:
    HttpServer(std::string address, std::uint16_t port, HttpServerLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    void addRoute(std::string method, const std::string& pattern, HttpHandler handler);
    void setDefaultHandler(std::string method, HttpHandler handler);
    // GET on pattern answers text/event-stream: opening() at once, then every
    // broadcast.
    void setEventStream(const std::string& pattern, EventStreamOpening opening,
                        EventStreamLimits limits = {});
    // On the server thread only: bytes (whole events) to every subscriber.
    void broadcast(std::string_view bytes);
    bool hasSubscribers() const;
    // From any thread: runs task on the server thread; a task posted after
    // stop() never runs.
    void post(std::function<void()> task);
    // Without one every connection is admitted.
    void setConnectionCheck(ConnectionCheck check);
    // Without one a connection admitted withCredential is refused.
    void setCredentialCheck(CredentialCheck check);

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
