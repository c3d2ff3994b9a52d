#include "server/HttpServer.h"

#include "base/Log.h"
#include "platform/ListeningSocket.h"
#include "platform/LoopbackSockets.h"
#include "server/HttpResponse.h"
#include "server/OriginPolicy.h"
#include "server/RequestTarget.h"

#include <array>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>

namespace obx {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = net::ip::tcp;

namespace {

using namespace std::chrono_literals;

// A failed accept is tried again after a pause, so that a lasting failure
// never turns into a busy loop; running out of descriptors with nothing to
// close gets a longer one, for connections to end meanwhile.
constexpr auto acceptRetryPause = 10ms;
constexpr auto descriptorShortagePause = 100ms;
constexpr auto failureLogInterval = 1s;

struct Route {
    std::string method;
    std::regex pattern;
    HttpHandler handler;
};

struct EventStreamRoute {
    std::regex pattern;
    EventStreamOpening opening;
    EventStreamLimits limits;
};

// The body runs until either side closes: no length, no chunks.
constexpr std::string_view eventStreamHead = "HTTP/1.1 200 OK\r\n"
                                             "Content-Type: text/event-stream\r\n"
                                             "Cache-Control: no-store\r\n"
                                             "X-Content-Type-Options: nosniff\r\n"
                                             "Cross-Origin-Resource-Policy: same-origin\r\n"
                                             "Connection: close\r\n\r\n";
constexpr std::string_view keepAliveComment = ": keep-alive\n\n";

bool isDescriptorShortage(const beast::error_code& error) {
    return error == net::error::no_descriptors || error == net::error::no_buffer_space ||
           error == net::error::no_memory || error == boost::system::errc::too_many_files_open_in_system;
}

class Session;

} // namespace

class HttpServer::Impl {
public:
    Impl(std::string address, std::uint16_t port, HttpServerLimits limits)
        : address(std::move(address)), port(port), limits(limits) {}

    // Handler for the request, or null when the connection is to be closed
    // without an answer.
    const HttpHandler* findHandler(const std::string& method, std::string_view path) const {
        for (auto& route : routes) {
            if (route.method == method && std::regex_match(path.begin(), path.end(), route.pattern)) {
                return &route.handler;
            }
        }
        for (auto& [defaultMethod, handler] : defaults) {
            if (defaultMethod == method) {
                return &handler;
            }
        }
        return nullptr;
    }

    bool isEventStream(const std::string& method, std::string_view path) const {
        return eventStream && method == "GET" &&
               std::regex_match(path.begin(), path.end(), eventStream->pattern);
    }

    void accept();
    void admit(tcp::socket socket);
    // False when the stream has all the subscribers it takes.
    bool subscribe(const std::shared_ptr<Session>& session);
    void unsubscribe(const Session* session);
    void broadcast(std::string_view bytes);
    void keepSubscribersAlive();
    void acceptFailed(const beast::error_code& error);
    // Closes the connection that has waited longest for a request; false
    // when every connection is busy with one.
    bool closeLongestIdle();

    void reportListening(std::uint16_t bound) {
        std::lock_guard lock(mutex);
        boundPort = bound;
        listeningKnown = true;
        listening.notify_all();
    }

    std::string address;
    std::uint16_t port;
    HttpServerLimits limits;
    std::vector<Route> routes;
    std::vector<std::pair<std::string, HttpHandler>> defaults;
    ConnectionCheck connectionCheck;
    CredentialCheck credentialCheck;

    net::io_context io{1};
    std::optional<tcp::acceptor> acceptor;
    net::steady_timer retryTimer{io};
    std::chrono::steady_clock::time_point lastFailureLogged{};
    std::set<std::shared_ptr<Session>> sessions;
    std::optional<EventStreamRoute> eventStream;
    std::vector<std::shared_ptr<Session>> subscribers;
    net::steady_timer keepAliveTimer{io};

    std::mutex mutex;
    std::condition_variable listening;
    bool listeningKnown = false;
    std::uint16_t boundPort = 0;
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, HttpServer::Impl& server)
        : stream_(std::move(socket)), server_(server), policy_(server.boundPort) {}

    void start() { readHeader(); }

    void close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    // Ends the connection at once, leaving nothing of it behind. A connection
    // closed gracefully lives on until the client closes its end too (and
    // then in TIME_WAIT), and on Windows any connection left on the port
    // keeps a server with exclusive use of it from binding it again.
    void reset() {
        beast::error_code ignored;
        stream_.socket().set_option(tcp::socket::linger(true, 0), ignored);
        stream_.close();
    }

    // Waiting for a request, or answered and about to close.
    bool idle() const { return idle_; }
    std::chrono::steady_clock::time_point idleSince() const { return idleSince_; }

private:
    void readHeader() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(server_.limits.headerSizeLimit));
        parser_->body_limit(server_.limits.bodySizeLimit);
        idle_ = true;
        idleSince_ = std::chrono::steady_clock::now();
        stream_.expires_after(server_.limits.requestTimeout);
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](beast::error_code error, std::size_t) {
                                    self->idle_ = false;
                                    self->onHeader(error);
                                });
    }

    void onHeader(beast::error_code error) {
        if (error == http::error::header_limit || error == http::error::body_limit) {
            return answerAndClose(failureResponse("Request body too large", statusPayloadTooLarge));
        }
        if (error) {
            return finish();
        }
        auto& header = parser_->get();
        auto headerValue = [&](auto field) -> std::optional<std::string_view> {
            auto found = header.find(field);
            if (found == header.end()) {
                return std::nullopt;
            }
            return std::string_view(found->value().data(), found->value().size());
        };
        const auto target =
            splitRequestTarget(std::string_view(header.target().data(), header.target().size()));
        const auto host = target.authority ? target.authority : headerValue(http::field::host);
        // The headers first: refusing a web page costs nothing, while asking
        // the system about the peer does.
        if (!policy_.allows(host, headerValue(http::field::origin), headerValue("Sec-Fetch-Site")) ||
            !requestAllowed(std::string_view(header.method_string().data(), header.method_string().size()),
                            target.path, headerValue(http::field::authorization))) {
            return answerAndClose(failureResponse("Request origin not allowed", statusForbidden));
        }
        stream_.expires_after(server_.limits.contentTimeout);
        http::async_read(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code error, std::size_t) { self->onBody(error); });
    }

    void onBody(beast::error_code error) {
        if (error == http::error::body_limit) {
            return answerAndClose(failureResponse("Request body too large", statusPayloadTooLarge));
        }
        if (error) {
            return finish();
        }
        auto& message = parser_->get();
        const auto target =
            splitRequestTarget(std::string_view(message.target().data(), message.target().size()));
        keepAlive_ = message.keep_alive();
        if (server_.isEventStream(std::string(message.method_string()), target.path)) {
            return openEventStream();
        }
        const auto* handler = server_.findHandler(std::string(message.method_string()), target.path);
        if (handler == nullptr) {
            return finish();
        }
        auto field = [&message](http::field name) {
            const auto found = message.find(name);
            return found == message.end() ? std::nullopt : std::optional<std::string>(found->value());
        };
        const HttpRequest request{std::string(message.method_string()), std::string(target.path),
                                  QueryParameters(target.query),        std::move(message.body()),
                                  field(http::field::if_none_match),    field(http::field::if_match)};
        write((*handler)(request));
    }

    void openEventStream() {
        if (!server_.subscribe(shared_from_this())) {
            return answerAndClose(failureResponse("Too many event subscribers", statusServiceUnavailable));
        }
        std::string opening(eventStreamHead);
        opening.append(server_.eventStream->opening());
        deliver(opening);
        watchForClose();
    }

public:
    // Queues bytes for a subscriber; one that has too much unsent is dropped.
    void deliver(std::string_view bytes) {
        if (unsent_.size() + response_.size() + bytes.size() > server_.eventStream->limits.unsentLimit) {
            logText(LogLevel::warning, "[HTTP] - dropping an event subscriber that does not read");
            return finish();
        }
        unsent_.append(bytes);
        if (!writing_) {
            sendUnsent();
        }
    }

private:
    void sendUnsent() {
        writing_ = true;
        response_.swap(unsent_);
        unsent_.clear();
        stream_.expires_after(server_.limits.contentTimeout);
        net::async_write(stream_, net::buffer(response_),
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             self->writing_ = false;
                             self->response_.clear();
                             if (error) {
                                 return self->finish();
                             }
                             if (!self->unsent_.empty()) {
                                 self->sendUnsent();
                             }
                         });
    }

    // A subscriber sends nothing more; its end of the connection is what
    // tells that it went away.
    void watchForClose() {
        stream_.socket().async_read_some(net::buffer(drain_),
                                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                                             if (error) {
                                                 return self->finish();
                                             }
                                             self->watchForClose();
                                         });
    }

    void write(std::string bytes) {
        response_ = std::move(bytes);
        stream_.expires_after(server_.limits.contentTimeout);
        net::async_write(stream_, net::buffer(response_),
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             if (error) {
                                 return self->finish();
                             }
                             if (!self->keepAlive_) {
                                 return self->lingerAndClose();
                             }
                             self->readHeader();
                         });
    }

    // Closing a socket with unread input makes the system reset the
    // connection, and the client may lose the answer it has not read yet:
    // end our side first and drop what the client still sends.
    void lingerAndClose() {
        // Answered: the first to go when connections run short.
        idle_ = true;
        idleSince_ = std::chrono::steady_clock::now();
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(server_.limits.requestTimeout);
        stream_.async_read_some(net::buffer(drain_),
                                [self = shared_from_this()](beast::error_code error, std::size_t) {
                                    if (error) {
                                        return self->finish();
                                    }
                                    self->lingerAndClose();
                                });
    }

    // The peer is asked about once, at the first request rather than at accept: Wine learns which
    // process holds a connection only once that process has used it, and the answer is the same at
    // either time.
    bool requestAllowed(std::string_view method, std::string_view path,
                        std::optional<std::string_view> authorization) {
        if (!admission_) {
            admission_ =
                server_.connectionCheck ? server_.connectionCheck(stream_.socket()) : PeerAdmission::admitted;
            if (*admission_ == PeerAdmission::refused) {
                logText(LogLevel::warning, "[HTTP] - refusing a connection from a process of another user");
            }
        }
        if (*admission_ != PeerAdmission::withCredential) {
            return *admission_ == PeerAdmission::admitted;
        }
        const bool allowed = server_.credentialCheck && server_.credentialCheck(method, path, authorization);
        if (!allowed) {
            logText(LogLevel::warning,
                    "[HTTP] - refusing a process outside the user's session that has no credential");
        }
        return allowed;
    }

    void answerAndClose(std::string bytes) {
        keepAlive_ = false;
        write(std::move(bytes));
    }

    void finish() {
        close();
        server_.unsubscribe(this);
        server_.sessions.erase(shared_from_this());
    }

    beast::tcp_stream stream_;
    HttpServer::Impl& server_;
    OriginPolicy policy_;
    std::optional<PeerAdmission> admission_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::string response_;
    // A subscriber's events that wait for the write in progress.
    std::string unsent_;
    bool writing_ = false;
    std::array<char, 4096> drain_;
    bool keepAlive_ = false;
    bool idle_ = false;
    std::chrono::steady_clock::time_point idleSince_;
};

} // namespace

void HttpServer::Impl::accept() {
    acceptor->async_accept(io, [this](beast::error_code error, tcp::socket socket) {
        if (!acceptor->is_open()) {
            return; // closed by stop()
        }
        if (error) {
            return acceptFailed(error);
        }
        admit(std::move(socket));
        accept();
    });
}

void HttpServer::Impl::admit(tcp::socket socket) {
    keepFromChildProcesses(socket);
    if (sessions.size() >= limits.connectionLimit && !closeLongestIdle()) {
        logText(LogLevel::debug, "[HTTP] - every connection is busy, refusing a new one");
        return; // the socket closes here
    }
    auto session = std::make_shared<Session>(std::move(socket), *this);
    sessions.insert(session);
    session->start();
}

void HttpServer::Impl::acceptFailed(const beast::error_code& error) {
    // A flood fails accept many times a second: one line a second at most.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastFailureLogged >= failureLogInterval) {
        lastFailureLogged = now;
        log(LogLevel::warning, "[HTTP] - cannot accept a connection: ", error.message());
    }
    // Out of descriptors, the connection idle longest makes room; only when
    // none can be closed is there something to wait for.
    const bool wait = isDescriptorShortage(error) && !closeLongestIdle();
    retryTimer.expires_after(wait ? descriptorShortagePause : acceptRetryPause);
    retryTimer.async_wait([this](beast::error_code cancelled) {
        if (!cancelled && acceptor->is_open()) {
            accept();
        }
    });
}

bool HttpServer::Impl::subscribe(const std::shared_ptr<Session>& session) {
    if (subscribers.size() >= eventStream->limits.subscriberLimit) {
        logText(LogLevel::warning, "[HTTP] - refusing an event subscriber, the stream has all it takes");
        return false;
    }
    subscribers.push_back(session);
    return true;
}

void HttpServer::Impl::unsubscribe(const Session* session) {
    std::erase_if(subscribers, [session](const auto& subscriber) { return subscriber.get() == session; });
}

void HttpServer::Impl::broadcast(std::string_view bytes) {
    // A subscriber dropped on the way leaves the list.
    for (auto& subscriber : std::vector(subscribers)) {
        subscriber->deliver(bytes);
    }
}

void HttpServer::Impl::keepSubscribersAlive() {
    keepAliveTimer.expires_after(eventStream->limits.keepAliveInterval);
    keepAliveTimer.async_wait([this](beast::error_code cancelled) {
        if (!cancelled) {
            broadcast(keepAliveComment);
            keepSubscribersAlive();
        }
    });
}

bool HttpServer::Impl::closeLongestIdle() {
    std::shared_ptr<Session> longest;
    for (auto& session : sessions) {
        if (session->idle() && (!longest || session->idleSince() < longest->idleSince())) {
            longest = session;
        }
    }
    if (!longest) {
        return false;
    }
    sessions.erase(longest);
    longest->close();
    return true;
}

HttpServer::HttpServer(std::string address, std::uint16_t port, HttpServerLimits limits)
    : impl_(std::make_unique<Impl>(std::move(address), port, limits)) {}

HttpServer::~HttpServer() = default;

void HttpServer::addRoute(std::string method, const std::string& pattern, HttpHandler handler) {
    impl_->routes.push_back({std::move(method), std::regex(pattern), std::move(handler)});
}

void HttpServer::setDefaultHandler(std::string method, HttpHandler handler) {
    impl_->defaults.emplace_back(std::move(method), std::move(handler));
}

void HttpServer::setEventStream(const std::string& pattern, EventStreamOpening opening,
                                EventStreamLimits limits) {
    impl_->eventStream = EventStreamRoute{std::regex(pattern), std::move(opening), limits};
}

void HttpServer::broadcast(std::string_view bytes) {
    impl_->broadcast(bytes);
}

bool HttpServer::hasSubscribers() const {
    return !impl_->subscribers.empty();
}

void HttpServer::post(std::function<void()> task) {
    net::post(impl_->io, std::move(task));
}

void HttpServer::setConnectionCheck(ConnectionCheck check) {
    impl_->connectionCheck = std::move(check);
}

void HttpServer::setCredentialCheck(CredentialCheck check) {
    impl_->credentialCheck = std::move(check);
}

void HttpServer::run() {
    auto& impl = *impl_;
    try {
        const tcp::endpoint endpoint(net::ip::make_address(impl.address), impl.port);
        impl.acceptor.emplace(impl.io);
        impl.acceptor->open(endpoint.protocol());
        keepFromChildProcesses(*impl.acceptor);
        claimListeningPort(*impl.acceptor);
        impl.acceptor->bind(endpoint);
        impl.acceptor->listen(net::socket_base::max_listen_connections);
    } catch (...) {
        impl.acceptor.reset();
        impl.reportListening(0);
        throw;
    }
    impl.reportListening(impl.acceptor->local_endpoint().port());
    impl.accept();
    if (impl.eventStream) {
        impl.keepSubscribersAlive();
    }
    impl.io.run();
    impl.subscribers.clear();
    impl.sessions.clear();
}

void HttpServer::stop() {
    auto& impl = *impl_;
    net::post(impl.io, [&impl] {
        if (impl.acceptor) {
            beast::error_code ignored;
            impl.acceptor->close(ignored);
        }
        impl.retryTimer.cancel();
        impl.keepAliveTimer.cancel();
        // The next server (after a resume or reconnection) binds the same port.
        for (auto& session : std::set(impl.sessions)) {
            session->reset();
        }
        impl.io.stop();
    });
}

std::uint16_t HttpServer::waitUntilListening() {
    std::unique_lock lock(impl_->mutex);
    impl_->listening.wait(lock, [this] { return impl_->listeningKnown; });
    return impl_->boundPort;
}

} // namespace obx
