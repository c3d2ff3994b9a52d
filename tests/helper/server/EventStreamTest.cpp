#include "RawHttpClient.h"
#include "base/LogCapture.h"
#include "server/HttpResponse.h"
#include "server/HttpServer.h"

#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace obx {
namespace {

using namespace std::chrono_literals;
using test::httpRequest;
using test::RawHttpClient;

constexpr std::string_view streamHead = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
                                        "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
                                        "Cross-Origin-Resource-Policy: same-origin\r\n"
                                        "Connection: close\r\n\r\n";
const std::string opening = "event: hello\ndata: {}\n\n";

class EventStreamTest : public ::testing::Test {
protected:
    void SetUp() override { serve({}); }
    void TearDown() override { stopServing(); }

    void serve(EventStreamLimits limits) {
        server = std::make_unique<HttpServer>("127.0.0.1", 0);
        server->setEventStream(
            "^/events$", [] { return opening; }, limits);
        server->addRoute("GET", "^/echo$", [](const HttpRequest&) { return successResponse("echo"); });
        thread = std::thread([this] { server->run(); });
        port = server->waitUntilListening();
        ASSERT_NE(port, 0);
    }
    void stopServing() {
        server->stop();
        thread.join();
    }

    // Broadcasts from the server thread, as every feed does, and returns once it has been queued.
    void broadcast(const std::string& bytes) {
        std::promise<void> done;
        server->post([&] {
            server->broadcast(bytes);
            done.set_value();
        });
        done.get_future().wait();
    }

    std::unique_ptr<RawHttpClient> subscribe(const std::string& headers = "") {
        auto client = std::make_unique<RawHttpClient>(port);
        client->send(httpRequest("GET", "/events", "", headers));
        EXPECT_EQ(client->readUntil(opening), std::string(streamHead) + opening);
        return client;
    }

    std::unique_ptr<HttpServer> server;
    std::thread thread;
    std::uint16_t port = 0;
};

TEST_F(EventStreamTest, EverySubscriberGetsTheSameEventsInOrderWhileOtherRequestsAreServed) {
    std::vector<std::unique_ptr<RawHttpClient>> subscribers;
    for (int i = 0; i < 4; ++i) {
        subscribers.push_back(subscribe());
    }
    broadcast("event: a\ndata: 1\n\n");
    broadcast("event: b\ndata: 2\n\n");
    RawHttpClient other(port);
    EXPECT_EQ(other.request(httpRequest("GET", "/echo")), successResponse("echo"));
    for (auto& subscriber : subscribers) {
        EXPECT_EQ(subscriber->readUntil("data: 2\n\n"), "event: a\ndata: 1\n\nevent: b\ndata: 2\n\n");
    }
}

TEST_F(EventStreamTest, AFifthSubscriberIsRefusedUntilOneLeaves) {
    std::vector<std::unique_ptr<RawHttpClient>> subscribers;
    for (int i = 0; i < 4; ++i) {
        subscribers.push_back(subscribe());
    }
    RawHttpClient fifth(port);
    EXPECT_EQ(fifth.request(httpRequest("GET", "/events")),
              failureResponse("Too many event subscribers", statusServiceUnavailable));
    EXPECT_TRUE(fifth.closedByServer());
    subscribers.pop_back();
    // The server learns of the departure asynchronously.
    std::unique_ptr<RawHttpClient> next;
    for (int attempt = 0; attempt < 200 && !next; ++attempt) {
        auto candidate = std::make_unique<RawHttpClient>(port);
        candidate->send(httpRequest("GET", "/events"));
        if (candidate->readUntil(opening, 2s)) {
            next = std::move(candidate);
        } else {
            std::this_thread::sleep_for(10ms);
        }
    }
    EXPECT_TRUE(next);
}

TEST_F(EventStreamTest, TheStreamObeysTheOriginRules) {
    const auto own = "http://127.0.0.1:" + std::to_string(port);
    subscribe("Origin: " + own + "\r\n");
    for (const std::string& origin : std::vector<std::string>{
             "null", "http://localhost:" + std::to_string(port + 1), "http://elsewhere.example"}) {
        RawHttpClient client(port);
        EXPECT_EQ(client.request(httpRequest("GET", "/events", "", "Origin: " + origin + "\r\n")),
                  failureResponse("Request origin not allowed", statusForbidden))
            << origin;
    }
}

TEST_F(EventStreamTest, QuietStreamsCarryKeepAliveComments) {
    stopServing();
    serve({.keepAliveInterval = 50ms});
    auto subscriber = subscribe();
    EXPECT_EQ(subscriber->readUntil("\n\n"), ": keep-alive\n\n");
    EXPECT_EQ(subscriber->readUntil("\n\n"), ": keep-alive\n\n");
}

TEST_F(EventStreamTest, ASubscriberThatDoesNotReadIsDroppedAndTheOthersGoOn) {
    constexpr std::size_t unsentLimit = 16 * 1024;
    stopServing();
    serve({.unsentLimit = unsentLimit});
    LogCapture capture;
    auto reader = subscribe();
    auto stalled = subscribe();
    const std::string payload(4000, 'x');
    std::string sent;
    // Paced by the reader, so only the stalled subscriber falls behind: once the system's buffers
    // hold all they take, its unsent data grows past the limit and it must go, long before the
    // stream has carried a few hundred megabytes.
    for (int i = 0; sent.size() < 256 * 1024 * 1024; ++i) {
        const auto event = "data: " + payload + std::to_string(i) + "\n\n";
        broadcast(event);
        sent += event;
        ASSERT_EQ(reader->readUntil("\n\n"), event);
        if (capture.contains(LogLevel::warning, "[HTTP] - dropping an event subscriber that does not read")) {
            break;
        }
    }
    ASSERT_TRUE(
        capture.contains(LogLevel::warning, "[HTTP] - dropping an event subscriber that does not read"));
    // It got at most what it took before it stopped keeping up, and then the connection ended.
    const auto received = stalled->readToClose();
    ASSERT_TRUE(received);
    EXPECT_EQ(sent.substr(0, received->size()), *received);
    EXPECT_LT(received->size(), sent.size());
    broadcast("data: after\n\n");
    EXPECT_EQ(reader->readUntil("\n\n"), "data: after\n\n");
}

} // namespace
} // namespace obx
