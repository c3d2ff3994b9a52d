#include "server/HttpServer.h"

#include "RawHttpClient.h"
#include "base/LogCapture.h"
#include "server/HttpResponse.h"

#include <atomic>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#ifdef __linux__
#include <sys/resource.h>
#endif

namespace obx {
namespace {

using nlohmann::json;
using test::httpRequest;
using test::RawHttpClient;

bool eventually(const std::function<bool()>& condition) {
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::string okBody(const std::string& text) {
    return successResponse(json(text));
}

class HttpServerTest : public ::testing::Test {
protected:
    void SetUp() override { serve(); }
    void TearDown() override { stopServing(); }

    void serve(HttpServerLimits limits = {}, ConnectionCheck check = {}) {
        server = std::make_unique<HttpServer>("127.0.0.1", 0, limits);
        server->setConnectionCheck(std::move(check));
        server->addRoute("GET", "^/echo$", [](const HttpRequest& request) {
            return successResponse(json{{"path", request.path}, {"body", request.body}});
        });
        server->addRoute("POST", "^/echo$", [](const HttpRequest& request) { return okBody(request.body); });
        server->addRoute("GET", "^/query$", [](const HttpRequest& request) {
            return successResponse(json{{"device", request.query.device()},
                                        {"button", request.query.button()},
                                        {"count", request.query.count()},
                                        {"app", request.query.app()}});
        });
        server->setDefaultHandler("GET", [](const HttpRequest&) { return okBody("default"); });
        thread = std::thread([this] { server->run(); });
        port = server->waitUntilListening();
        ASSERT_NE(port, 0);
    }
    void stopServing() {
        server->stop();
        thread.join();
    }
    void restart(HttpServerLimits limits, ConnectionCheck check = {}) {
        stopServing();
        serve(limits, std::move(check));
    }

    std::unique_ptr<HttpServer> server;
    std::thread thread;
    std::uint16_t port = 0;
};

const std::string securityHeaders =
    "X-Content-Type-Options: nosniff\nCross-Origin-Resource-Policy: same-origin\nCache-Control: no-store\n";

TEST(HttpResponseBytes, SuccessUsesSingleLineFeedsAndCountsTheFinalOne) {
    EXPECT_EQ(successResponse(true), "HTTP/1.1 200 OK\nContent-Length: 5\nContent-Type: application/json; "
                                     "charset=utf-8\n" +
                                         securityHeaders + "\ntrue\n");
    EXPECT_EQ(successResponse(json{{"b", 1}, {"a", "\xc3\xa9"}}),
              "HTTP/1.1 200 OK\nContent-Length: 17\nContent-Type: application/json; charset=utf-8\n" +
                  securityHeaders + "\n{\"a\":\"\xc3\xa9\",\"b\":1}\n");
}

TEST(HttpResponseBytes, FailureEnvelopeHasReasonFirstAndIsLogged) {
    LogCapture capture;
    EXPECT_EQ(
        failureResponse("Device does not exist"),
        "HTTP/1.1 400 Bad Request\nContent-Length: 51\nContent-Type: application/json; charset=utf-8\n" +
            securityHeaders + "\n{\"reason\":\"Device does not exist\",\"success\":false}\n");
    EXPECT_TRUE(capture.contains(
        LogLevel::warning, "\tresponse(failure): {\"reason\":\"Device does not exist\",\"success\":false}"));
    EXPECT_NE(failureResponse("bad \xff byte").find("\"success\":false"), std::string::npos);
}

TEST_F(HttpServerTest, RoutesMatchTheWholePathAndUnknownGetsTakeTheDefault) {
    RawHttpClient client(port);
    EXPECT_EQ(client.request(httpRequest("GET", "/echo")),
              successResponse(json{{"path", "/echo"}, {"body", ""}}));
    EXPECT_EQ(client.request(httpRequest("GET", "/echo/x")), okBody("default"));
    EXPECT_EQ(client.request(httpRequest("GET", "/")), okBody("default"));
    EXPECT_EQ(client.request(httpRequest("GET", "/echo?x=1")),
              successResponse(json{{"path", "/echo"}, {"body", ""}}));
}

TEST_F(HttpServerTest, UnmatchedMethodsGetNoAnswerAndTheConnectionCloses) {
    RawHttpClient put(port);
    put.send(httpRequest("PUT", "/echo", "{}"));
    EXPECT_TRUE(put.closedByServer());
    RawHttpClient post(port);
    post.send(httpRequest("POST", "/nothing", "{}"));
    EXPECT_TRUE(post.closedByServer());
}

TEST_F(HttpServerTest, KeepAliveFollowsTheProtocolVersionAndConnectionHeader) {
    RawHttpClient client(port);
    client.send(httpRequest("POST", "/echo", "one") + httpRequest("POST", "/echo", "two"));
    EXPECT_EQ(client.readResponse(), okBody("one"));
    EXPECT_EQ(client.readResponse(), okBody("two"));

    RawHttpClient closing(port);
    EXPECT_EQ(closing.request(httpRequest("POST", "/echo", "x", "Connection: close\r\n")), okBody("x"));
    EXPECT_TRUE(closing.closedByServer());

    RawHttpClient old(port);
    EXPECT_EQ(old.request("GET /echo HTTP/1.0\r\n\r\n"),
              successResponse(json{{"path", "/echo"}, {"body", ""}}));
    EXPECT_TRUE(old.closedByServer());

    RawHttpClient oldKept(port);
    EXPECT_TRUE(oldKept.request("GET /echo HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"));
    EXPECT_TRUE(oldKept.request("GET /echo HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"));
}

TEST_F(HttpServerTest, ChunkedBodiesAreRead) {
    RawHttpClient client(port);
    EXPECT_EQ(
        client.request(
            "POST /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n"),
        okBody("abcde"));
}

TEST_F(HttpServerTest, MalformedRequestLinesCloseTheConnection) {
    RawHttpClient client(port);
    client.send("THIS IS NOT HTTP\r\n\r\n");
    EXPECT_TRUE(client.closedByServer());
    RawHttpClient badLength(port);
    badLength.send("POST /echo HTTP/1.1\r\nContent-Length: x\r\n\r\n");
    EXPECT_TRUE(badLength.closedByServer());
}

// The bound admits any document the helper writes itself; a body above it
// is refused from its declared length, before it is read.
TEST_F(HttpServerTest, BodiesUpToTheBoundAreReadAndLargerOnesRefusedWith413) {
    RawHttpClient large(port);
    const std::string twoMebibytes(2 * 1024 * 1024, 'x');
    EXPECT_EQ(large.request(httpRequest("POST", "/echo", twoMebibytes)), okBody(twoMebibytes));

    RawHttpClient declared(port);
    EXPECT_EQ(declared.request("POST /echo HTTP/1.1\r\nContent-Length: " +
                               std::to_string(64 * 1024 * 1024 + 1) + "\r\n\r\nabc"),
              failureResponse("Request body too large", statusPayloadTooLarge));
    EXPECT_TRUE(declared.closedByServer());

    restart({.bodySizeLimit = 10});
    RawHttpClient atLimit(port);
    EXPECT_EQ(atLimit.request(httpRequest("POST", "/echo", std::string(10, 'x'))),
              okBody(std::string(10, 'x')));
    RawHttpClient chunked(port);
    EXPECT_EQ(chunked.request("POST /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n6\r\nabcdef\r\n"
                              "6\r\nghijkl\r\n0\r\n\r\n"),
              failureResponse("Request body too large", statusPayloadTooLarge));

    RawHttpClient header(port);
    EXPECT_EQ(
        header.request(httpRequest("GET", "/echo", "", "X-Big: " + std::string(1024 * 1024, 'y') + "\r\n")),
        failureResponse("Request body too large", statusPayloadTooLarge));
}

// A connection may wait for its request line and headers as long as
// requestTimeout, for its body as long as contentTimeout.
TEST_F(HttpServerTest, SilentAndSlowConnectionsAreClosedAfterTheirTimeOuts) {
    using namespace std::chrono_literals;
    restart({.requestTimeout = 1000ms, .contentTimeout = 3000ms});
    RawHttpClient silent(port);
    EXPECT_TRUE(silent.closedByServer());
    RawHttpClient afterAnswer(port);
    EXPECT_TRUE(afterAnswer.request(httpRequest("GET", "/echo")));
    EXPECT_TRUE(afterAnswer.closedByServer());

    RawHttpClient slowBody(port);
    const auto started = std::chrono::steady_clock::now();
    slowBody.send("POST /echo HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc");
    EXPECT_TRUE(slowBody.closedByServer());
    // The server can only be late, never early: the body's time-out is the
    // longer one.
    EXPECT_GE(std::chrono::steady_clock::now() - started, 3000ms);
}

TEST_F(HttpServerTest, ANewConnectionDisplacesTheOneIdleLongest) {
    restart({.connectionLimit = 2});
    RawHttpClient first(port);
    EXPECT_TRUE(first.request(httpRequest("GET", "/echo")));
    RawHttpClient second(port);
    EXPECT_TRUE(second.request(httpRequest("GET", "/echo")));
    RawHttpClient third(port);
    EXPECT_EQ(third.request(httpRequest("POST", "/echo", "third")), okBody("third"));
    EXPECT_TRUE(first.closedByServer());
    EXPECT_EQ(second.request(httpRequest("POST", "/echo", "second")), okBody("second"));
}

TEST_F(HttpServerTest, ConnectionsBusyWithARequestAreNeverDisplaced) {
    restart({.connectionLimit = 2});
    RawHttpClient busy1(port);
    busy1.send("POST /echo HTTP/1.1\r\nContent-Length: 5\r\n\r\nab");
    RawHttpClient busy2(port);
    busy2.send("POST /echo HTTP/1.1\r\nContent-Length: 5\r\n\r\nab");
    // Once the server has read both headers, newcomers are refused.
    EXPECT_TRUE(eventually([&] {
        RawHttpClient newcomer(port);
        newcomer.trySend(httpRequest("GET", "/echo"));
        return !newcomer.readResponse().has_value();
    }));
    busy1.send("cde");
    EXPECT_EQ(busy1.readResponse(), okBody("abcde"));
    busy2.send("fgh");
    EXPECT_EQ(busy2.readResponse(), okBody("abfgh"));
}

// Descriptor limits are a POSIX notion; Windows sockets have no such limit to run into.
#ifdef __linux__
TEST_F(HttpServerTest, AcceptingGoesOnAfterRunningOutOfDescriptors) {
    LogCapture capture;
    rlimit original{};
    ::getrlimit(RLIMIT_NOFILE, &original);
    // Its socket exists before the limit falls and it connects after, so the
    // server has a connection to accept while it can open no descriptor.
    RawHttpClient waiting(port, RawHttpClient::Deferred{});
    // No new descriptor at all: the server's accept fails until the limit is
    // back.
    rlimit none = original;
    none.rlim_cur = 0;
    ::setrlimit(RLIMIT_NOFILE, &none);
    waiting.connect();
    waiting.send(httpRequest("POST", "/echo", "later"));
    const bool failed = eventually([&] {
        for (auto& text : capture.texts()) {
            if (text.rfind("[HTTP] - cannot accept a connection: ", 0) == 0) {
                return true;
            }
        }
        return false;
    });
    ::setrlimit(RLIMIT_NOFILE, &original);
    ASSERT_TRUE(failed);
    EXPECT_EQ(waiting.readResponse(), okBody("later"));
    RawHttpClient next(port);
    EXPECT_EQ(next.request(httpRequest("POST", "/echo", "next")), okBody("next"));
}
#endif

// Wine tells a connection's owner only once the client has used the connection.
TEST_F(HttpServerTest, TheCheckIsAskedOnceAtTheFirstRequestAndARefusedConnectionIsForbiddenAndLogged) {
    auto allowed = std::make_shared<std::atomic<bool>>(false);
    auto asked = std::make_shared<std::atomic<int>>(0);
    restart({}, [allowed, asked](const boost::asio::ip::tcp::socket&) {
        ++*asked;
        return allowed->load() ? PeerAdmission::admitted : PeerAdmission::refused;
    });
    LogCapture capture;
    RawHttpClient first(port);
    // Connections are accepted in order: once the second is answered, the first has been accepted.
    RawHttpClient refused(port);
    EXPECT_EQ(refused.request(httpRequest("POST", "/echo", "x")),
              failureResponse("Request origin not allowed", statusForbidden));
    EXPECT_TRUE(refused.closedByServer());
    EXPECT_TRUE(
        capture.contains(LogLevel::warning, "[HTTP] - refusing a connection from a process of another user"));
    *allowed = true;
    EXPECT_EQ(first.request(httpRequest("POST", "/echo", "y")), okBody("y"));
    EXPECT_EQ(first.request(httpRequest("POST", "/echo", "z")), okBody("z"));
    EXPECT_EQ(asked->load(), 2);
}

TEST_F(HttpServerTest, AbsoluteFormTargetsAreRoutedByPathAndTheirAuthorityChecked) {
    const auto own = "http://127.0.0.1:" + std::to_string(port);
    RawHttpClient client(port);
    EXPECT_EQ(client.request(httpRequest("GET", own + "/echo?x=1")),
              successResponse(json{{"path", "/echo"}, {"body", ""}}));
    EXPECT_EQ(client.request(httpRequest("GET", "HTTP://127.0.0.1:" + std::to_string(port))),
              okBody("default"));
    RawHttpClient foreign(port);
    EXPECT_EQ(foreign.request(httpRequest("GET", "http://evil.example/echo", "",
                                          "Host: 127.0.0.1:" + std::to_string(port) + "\r\n")),
              failureResponse("Request origin not allowed", statusForbidden));
}

TEST_F(HttpServerTest, ForeignHostsAndEveryOriginButTheHelpersOwnAreForbidden) {
    const auto forbidden = failureResponse("Request origin not allowed", statusForbidden);
    const auto own = "127.0.0.1:" + std::to_string(port);
    const auto otherPort = std::to_string(port == 65535 ? 1 : port + 1);
    for (const std::string& headers : std::vector<std::string>{
             "Host: evil.example:" + std::to_string(port) + "\r\n", "Host: localhost:1\r\n",
             "Host: localhost\r\n", "Host: " + own + "\r\nOrigin: http://evil.example\r\n",
             "Host: " + own + "\r\nOrigin: https://127.0.0.1.evil.example:" + std::to_string(port) + "\r\n",
             "Origin: null\r\n", "Host: " + own + "\r\nOrigin: NULL\r\n",
             "Origin: http://localhost:" + otherPort + "\r\n",
             "Origin: http://127.0.0.1:" + otherPort + "\r\n", "Origin: http://127.0.0.1\r\n",
             "Origin: https://" + own + "\r\n", "Origin: http://[::1]:" + std::to_string(port) + "\r\n",
             "Origin: file://\r\n", "Origin: http://" + own + ".evil.example\r\n",
             "Origin: http://" + own + "/\r\n", "Origin: \r\n", "Sec-Fetch-Site: cross-site\r\n",
             "Sec-Fetch-Site: same-site\r\n",
             "Origin: http://" + own + "\r\nSec-Fetch-Site: SAME-SITE\r\n"}) {
        RawHttpClient client(port);
        EXPECT_EQ(client.request(httpRequest("POST", "/echo", "x", headers)), forbidden) << headers;
        EXPECT_TRUE(client.closedByServer());
    }
    for (const std::string& headers :
         std::vector<std::string>{"Host: " + own + "\r\n", "Host: LOCALHOST:" + std::to_string(port) + "\r\n",
                                  "Host: [::1]:" + std::to_string(port) + "\r\n",
                                  "Host: " + own + "\r\nOrigin: http://" + own + "\r\n",
                                  "Origin: http://localhost:" + std::to_string(port) + "\r\n",
                                  "Origin: HTTP://LocalHost:" + std::to_string(port) + "\r\n",
                                  "Origin: http://" + own + "\r\nSec-Fetch-Site: same-origin\r\n",
                                  "Sec-Fetch-Site: none\r\n", ""}) {
        RawHttpClient client(port);
        EXPECT_EQ(client.request(httpRequest("POST", "/echo", "x", headers)), okBody("x")) << headers;
    }
}

TEST_F(HttpServerTest, QueryValuesArePercentDecodedWithLeadingDigits) {
    RawHttpClient client(port);
    EXPECT_EQ(
        client.request(
            httpRequest("GET", "/query?device=4097abc&button=%31%32&count=-5&app=C%3A%5CApps%5CX.EXE")),
        successResponse(json{{"device", 4097}, {"button", 12}, {"count", -5}, {"app", "c:\\apps\\x.exe"}}));
    EXPECT_EQ(client.request(httpRequest("GET", "/query?device=x&count=0")),
              successResponse(json{{"device", 0}, {"button", 0}, {"count", 0}, {"app", ""}}));
    EXPECT_EQ(client.request(httpRequest("GET", "/query")),
              successResponse(json{{"device", 0}, {"button", 0}, {"count", 10}, {"app", ""}}));
}

TEST_F(HttpServerTest, SeveralClientsAtOnceAreAllServed) {
    constexpr int clients = 16;
    std::vector<std::unique_ptr<RawHttpClient>> connections;
    for (int i = 0; i < clients; ++i) {
        connections.push_back(std::make_unique<RawHttpClient>(port));
    }
    for (int i = 0; i < clients; ++i) {
        connections[i]->send(httpRequest("POST", "/echo", "client " + std::to_string(i)));
    }
    for (int i = 0; i < clients; ++i) {
        EXPECT_EQ(connections[i]->readResponse(), okBody("client " + std::to_string(i)));
    }
}

TEST_F(HttpServerTest, StoppingResetsOpenConnectionsSoThatNoneOutlivesTheServer) {
    // A kept-alive connection, answered, so that the server holds it.
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket client(io);
    client.connect({boost::asio::ip::make_address("127.0.0.1"), port});
    boost::asio::write(client, boost::asio::buffer(httpRequest("GET", "/echo")));
    const std::string answer = successResponse(json{{"path", "/echo"}, {"body", ""}});
    std::string received(answer.size(), '\0');
    boost::asio::read(client, boost::asio::buffer(received));
    ASSERT_EQ(received, answer);
    stopServing();
    char byte = 0;
    boost::system::error_code error;
    client.read_some(boost::asio::buffer(&byte, 1), error);
#ifdef _WIN32
    // Wine's sockets end such a connection either way; only the system's own stack shows the
    // lingering graceful close that keeps the port from the next server.
    EXPECT_TRUE(error == boost::asio::error::connection_reset || error == boost::asio::error::eof) << error;
#else
    // A graceful close would end the stream (eof) and wait for the client's end.
    EXPECT_EQ(error, boost::asio::error::connection_reset);
#endif
    serve();
}

TEST(HttpServerPort, TakenPortFailsRunWithoutEndingTheProcess) {
    HttpServer first("127.0.0.1", 0);
    std::thread firstThread([&] { first.run(); });
    const auto port = first.waitUntilListening();
    HttpServer second("127.0.0.1", port);
    EXPECT_THROW(second.run(), boost::system::system_error);
    EXPECT_EQ(second.waitUntilListening(), 0);
    first.stop();
    firstThread.join();
}

} // namespace
} // namespace obx
