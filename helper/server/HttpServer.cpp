#include "server/HttpServer.h"

#include "platform/ListeningSocket.h"
#include "server/HttpResponse.h"
#include "server/OriginPolicy.h"

#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <condition_variable>
#include <mutex>
#include <set>

namespace obx {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = net::ip::tcp;

namespace {

struct Route {
    std::string method;
    std::regex pattern;
    HttpHandler handler;
};

class Session;

} // namespace

class HttpServer::Impl {
public:
    Impl(std::string address, std::uint16_t port, HttpServerLimits limits)
        : address(std::move(address)), port(port), limits(limits) {}

    // Handler for the request, or null when the connection is to be closed
    // without an answer.
    const HttpHandler* findHandler(const std::string& method, const std::string& path) const {
        for (auto& route : routes) {
            if (route.method == method && std::regex_match(path, route.pattern)) {
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

    void accept();
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

    net::io_context io{1};
    std::optional<tcp::acceptor> acceptor;
    std::set<std::shared_ptr<Session>> sessions;

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

private:
    void readHeader() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(server_.limits.requestSizeLimit));
        parser_->body_limit(server_.limits.requestSizeLimit);
        stream_.expires_after(server_.limits.requestTimeout);
        http::async_read_header(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code error, std::size_t) { self->onHeader(error); });
    }

    void onHeader(beast::error_code error) {
        if (error == http::error::header_limit || error == http::error::body_limit) {
            return answerAndClose(failureResponse("Request body too large", statusPayloadTooLarge));
        }
        if (error) {
            return finish();
        }
        auto& header = parser_->get();
        auto headerValue = [&](http::field field) -> std::optional<std::string_view> {
            auto found = header.find(field);
            if (found == header.end()) {
                return std::nullopt;
            }
            return std::string_view(found->value().data(), found->value().size());
        };
        if (!policy_.allows(headerValue(http::field::host), headerValue(http::field::origin))) {
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
        const std::string_view target(message.target().data(), message.target().size());
        const auto question = target.find('?');
        HttpRequest request{std::string(message.method_string()), std::string(target.substr(0, question)),
                            QueryParameters(question == std::string_view::npos ? std::string_view()
                                                                               : target.substr(question + 1)),
                            std::move(message.body())};
        const auto* handler = server_.findHandler(request.method, request.path);
        if (handler == nullptr) {
            return finish();
        }
        keepAlive_ = message.keep_alive();
        write((*handler)(request));
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

    void answerAndClose(std::string bytes) {
        keepAlive_ = false;
        write(std::move(bytes));
    }

    void finish() {
        close();
        server_.sessions.erase(shared_from_this());
    }

    beast::tcp_stream stream_;
    HttpServer::Impl& server_;
    OriginPolicy policy_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::string response_;
    std::array<char, 4096> drain_;
    bool keepAlive_ = false;
};

} // namespace

void HttpServer::Impl::accept() {
    acceptor->async_accept(io, [this](beast::error_code error, tcp::socket socket) {
        if (error) {
            return; // the acceptor was closed by stop()
        }
        auto session = std::make_shared<Session>(std::move(socket), *this);
        sessions.insert(session);
        session->start();
        accept();
    });
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

void HttpServer::run() {
    auto& impl = *impl_;
    try {
        const tcp::endpoint endpoint(net::ip::make_address(impl.address), impl.port);
        impl.acceptor.emplace(impl.io);
        impl.acceptor->open(endpoint.protocol());
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
    impl.io.run();
    impl.sessions.clear();
}

void HttpServer::stop() {
    auto& impl = *impl_;
    net::post(impl.io, [&impl] {
        if (impl.acceptor) {
            beast::error_code ignored;
            impl.acceptor->close(ignored);
        }
        for (auto& session : std::set(impl.sessions)) {
            session->close();
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
