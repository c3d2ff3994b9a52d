#include "server/Resources.h"

#include "RawHttpClient.h"
#include "base/LogCapture.h"
#include "base/StatusNotices.h"
#include "devices/IObxDeviceManager.h"
#include "server/CommandServer.h"
#include "server/HttpResponse.h"
#include "support/Environment.h"
#include "support/RecordingPlatformServices.h"

#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

namespace obx {
namespace {

using nlohmann::json;
using test::httpRequest;
using test::RawHttpClient;
using test::setEnvironmentVariable;
using test::unsetEnvironmentVariable;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::Throw;

class MockDeviceManager : public IObxDeviceManager {
public:
    MOCK_METHOD(json, getSettings, (), (override));
    MOCK_METHOD(void, setSettings, (const json&), (override));
    MOCK_METHOD(json, getGeneralConfig, (), (override));
    MOCK_METHOD(void, setGeneralConfig, (const json&), (override));
    MOCK_METHOD(json, getDevices, (), (override));
    MOCK_METHOD(json, getDeviceCapabilities, (std::uint16_t), (override));
    MOCK_METHOD(json, getApps, (std::uint16_t), (override));
    MOCK_METHOD(void, createApp, (std::uint16_t, const json&), (override));
    MOCK_METHOD(void, deleteApp, (std::uint16_t, const json&), (override));
    MOCK_METHOD(json, getPointerConfig, (const AppId&, std::uint16_t), (override));
    MOCK_METHOD(void, setPointerConfig, (const AppId&, std::uint16_t, const json&), (override));
    MOCK_METHOD(json, getScrollWheelConfig, (const AppId&, std::uint16_t), (override));
    MOCK_METHOD(void, setScrollWheelConfig, (const AppId&, std::uint16_t, const json&), (override));
    MOCK_METHOD(json, getButtonAction, (const AppId&, std::uint16_t, std::uint32_t), (override));
    MOCK_METHOD(void, setButtonAction, (const AppId&, std::uint16_t, std::uint32_t, const json&), (override));
    MOCK_METHOD(json, getSnippets, (const AppId&, std::uint16_t), (override));
    MOCK_METHOD(void, setSnippets, (const AppId&, std::uint16_t, const json&), (override));
    MOCK_METHOD(void, renameApp, (const AppId&, std::uint16_t, const json&), (override));
    MOCK_METHOD(std::uint64_t, settingsRevision, (), (override));
    MOCK_METHOD(void, startLearning, (std::uint16_t, std::chrono::seconds), (override));
    MOCK_METHOD(void, stopLearning, (std::uint16_t), (override));
    MOCK_METHOD(void, reportEventsTo, (DeviceEventSink*), (override));
    MOCK_METHOD(void, setTrayIcon, (bool), (override));
    MOCK_METHOD(bool, getTrayIcon, (), (override));
    MOCK_METHOD(void, lock, (), (override));
    MOCK_METHOD(void, unlock, (), (override));
};

// Every answer of a settings resource tells the revision the manager counts.
const std::string revisionHeader = "ETag: \"7\"\n";

std::string settingsAnswer(const json& body) {
    return successResponse(body, revisionHeader);
}

std::string settingsRefusal(const std::string& reason) {
    return failureResponse(reason, statusBadRequest, revisionHeader);
}

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        EXPECT_CALL(manager, lock()).Times(::testing::AnyNumber());
        EXPECT_CALL(manager, unlock()).Times(::testing::AnyNumber());
        EXPECT_CALL(manager, settingsRevision()).WillRepeatedly(Return(7));
        server = std::make_unique<CommandServer>(manager, 0);
        server->start();
        port = server->waitUntilListening();
        ASSERT_NE(port, 0);
        client = std::make_unique<RawHttpClient>(port);
        capture.clear();
    }
    void TearDown() override { server.reset(); }

    std::optional<std::string> request(const std::string& method, const std::string& target,
                                       const std::string& body = "", const std::string& headers = "") {
        return client->request(httpRequest(method, target, body, headers));
    }

    test::ScopedRecordingPlatform platform;
    ::testing::StrictMock<MockDeviceManager> manager;
    LogCapture capture;
    std::unique_ptr<CommandServer> server;
    std::uint16_t port = 0;
    std::unique_ptr<RawHttpClient> client;
};

TEST_F(ResourcesTest, UnknownGetPathsAnswerTheVersionDocument) {
    const std::string expected =
        "HTTP/1.1 200 OK\nContent-Length: 64\nContent-Type: application/json; "
        "charset=utf-8\nX-Content-Type-Options: nosniff\nCross-Origin-Resource-Policy: same-origin\n"
        "Cache-Control: no-store\n\n{\"apiVersion\":1,\"fileVersion\":{\"major\":2,\"minor\":1,"
        "\"patch\":19}}\n";
    EXPECT_EQ(request("GET", "/"), expected);
    EXPECT_EQ(request("GET", "/nothing"), expected);
    EXPECT_EQ(request("GET", "/config/snippets/x"), expected);
}

TEST_F(ResourcesTest, OtherMethodsOutsideTheTableCloseTheConnection) {
    RawHttpClient put(port);
    put.send(httpRequest("PUT", "/config", "{}"));
    EXPECT_TRUE(put.closedByServer());
    RawHttpClient post(port);
    post.send(httpRequest("POST", "/devices", "{}"));
    EXPECT_TRUE(post.closedByServer());
}

TEST_F(ResourcesTest, GetResourcesLogAndAnswerWhatTheOperationReturns) {
    EXPECT_CALL(manager, getDevices()).WillOnce(Return(json{{"devices", json::array()}}));
    EXPECT_CALL(manager, getApps(4097)).WillOnce(Return(json{{"apps", json::array()}}));
    EXPECT_CALL(manager, getSettings()).WillOnce(Return(json{{"devices", json::array()}}));
    EXPECT_CALL(manager, getGeneralConfig()).WillOnce(Return(json{{"trayIcon", true}}));
    EXPECT_CALL(manager, getPointerConfig(AppId("c:\\x.exe"), 4097)).WillOnce(Return(json{{"speed", 5}}));
    EXPECT_CALL(manager, getScrollWheelConfig(AppId(""), 0)).WillOnce(Return(json{{"lines", 3}}));
    EXPECT_CALL(manager, getSnippets(AppId("*"), 12)).WillOnce(Return(json::array()));
    EXPECT_CALL(manager, getButtonAction(AppId("chrome.exe"), 4097, 0x40000000u)).WillOnce(Return(json()));

    EXPECT_EQ(request("GET", "/devices"), successResponse(json{{"devices", json::array()}}));
    EXPECT_EQ(request("GET", "/config/apps?device=4097"), settingsAnswer(json{{"apps", json::array()}}));
    EXPECT_EQ(request("GET", "/config"), settingsAnswer(json{{"devices", json::array()}}));
    EXPECT_EQ(request("GET", "/config/general"), settingsAnswer(json{{"trayIcon", true}}));
    EXPECT_EQ(request("GET", "/config/pointer?app=C%3A%5CX.exe&device=4097"),
              settingsAnswer(json{{"speed", 5}}));
    EXPECT_EQ(request("GET", "/config/scroll"), settingsAnswer(json{{"lines", 3}}));
    EXPECT_EQ(request("GET", "/config/snippets?app=*&device=12"), settingsAnswer(json::array()));
    EXPECT_EQ(request("GET", "/config/buttons?app=Chrome.EXE&device=4097&button=1073741824"),
              settingsAnswer(json()));

    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{
                  "[HTTP] - get connected devices",
                  "[HTTP] - get app configurations",
                  "[HTTP] get entire settings",
                  "[HTTP] get general config",
                  "[HTTP] get pointer config - app: c:\\x.exe, deviceId: 4097",
                  "[HTTP] get scroll config - app: , deviceId: 0",
                  "[HTTP] get snippets - app: *, deviceId: 12",
                  "[HTTP] get button config - app: chrome.exe, deviceId: 4097, buttonMask: 40000000",
              }));
}

TEST_F(ResourcesTest, PostsAnswerWithTheGetterAfterTheSetter) {
    const json body = {{"speed", 80}};
    {
        InSequence order;
        EXPECT_CALL(manager, setPointerConfig(AppId("*"), 4097, body));
        EXPECT_CALL(manager, getPointerConfig(AppId("*"), 4097)).WillOnce(Return(json{{"speed", 79}}));
        EXPECT_CALL(manager, setButtonAction(AppId("a.exe"), 1, 6u, json{{"command", "noAction"}}));
        EXPECT_CALL(manager, getButtonAction(AppId("a.exe"), 1, 6u)).WillOnce(Return(json{{"command", "x"}}));
        EXPECT_CALL(manager, setGeneralConfig(json{{"trayIcon", false}}));
        EXPECT_CALL(manager, getGeneralConfig()).WillOnce(Return(json{{"trayIcon", false}}));
        EXPECT_CALL(manager, setSettings(json{{"devices", 1}}));
        EXPECT_CALL(manager, getSettings()).WillOnce(Return(json{{"devices", 2}}));
        EXPECT_CALL(manager, setScrollWheelConfig(AppId("*"), 2, json{{"lines", 4}}));
        EXPECT_CALL(manager, getScrollWheelConfig(AppId("*"), 2)).WillOnce(Return(json{{"lines", 5}}));
    }
    EXPECT_EQ(request("POST", "/config/pointer?app=*&device=4097", body.dump()),
              settingsAnswer(json{{"speed", 79}}));
    EXPECT_EQ(request("POST", "/config/buttons?app=A.exe&device=1&button=6", R"({"command":"noAction"})"),
              settingsAnswer(json{{"command", "x"}}));
    EXPECT_EQ(request("POST", "/config/general", R"({"trayIcon":false})"),
              settingsAnswer(json{{"trayIcon", false}}));
    EXPECT_EQ(request("POST", "/config", R"({"devices":1})"), settingsAnswer(json{{"devices", 2}}));
    EXPECT_EQ(request("POST", "/config/scroll?app=*&device=2", R"({"lines":4})"),
              settingsAnswer(json{{"lines", 5}}));
    EXPECT_TRUE(capture.contains(LogLevel::debug,
                                 "[HTTP] set button config - app: a.exe, deviceId: 1, buttonMask: 6"));
}

TEST_F(ResourcesTest, AppProfilesAreChangedThenListed) {
    {
        InSequence order;
        EXPECT_CALL(manager, createApp(4097, json{{"name", "Edit"}}));
        EXPECT_CALL(manager, getApps(4097)).WillOnce(Return(json{{"apps", 1}}));
        EXPECT_CALL(manager, deleteApp(4097, json{{"app", "*"}}))
            .WillOnce(Throw(std::runtime_error("Global app profile cannot be deleted")));
    }
    EXPECT_EQ(request("POST", "/config/apps?device=4097", R"({"name" : "Edit"})"),
              settingsAnswer(json{{"apps", 1}}));
    EXPECT_TRUE(capture.contains(LogLevel::debug,
                                 "[HTTP] - create new app configuration, json: {\"name\":\"Edit\"}"));
    EXPECT_EQ(request("DELETE", "/config/apps?device=4097", R"({"app":"*"})"),
              settingsRefusal("Global app profile cannot be deleted"));
    EXPECT_TRUE(
        capture.contains(LogLevel::debug, "[HTTP] - delete app configuration, json: {\"app\":\"*\"}"));
}

// Deeper documents would exhaust the stack of everything that walks them.
TEST_F(ResourcesTest, DocumentsNestedDeeperThanSixtyFourLevelsAreRefused) {
    auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    const auto refused = settingsRefusal("JSON nesting deeper than 64 levels");
    EXPECT_EQ(request("POST", "/config/apps?device=1", nested(100000)), refused);
    EXPECT_EQ(request("POST", "/config/apps?device=1", "{\"a\":" + nested(64) + "}"), refused);
    EXPECT_EQ(request("POST", "/config/pointer?app=*&device=1", nested(65)), refused);
    EXPECT_CALL(manager, createApp(1, json::parse(nested(64))));
    EXPECT_CALL(manager, getApps(1)).WillOnce(Return(json{{"apps", 1}}));
    EXPECT_EQ(request("POST", "/config/apps?device=1", nested(64)), settingsAnswer(json{{"apps", 1}}));
}

TEST_F(ResourcesTest, BodiesThatDoNotParseFailWithTheParsersMessage) {
    const auto response = request("POST", "/config/apps?device=1", "");
    ASSERT_TRUE(response);
    EXPECT_TRUE(response->starts_with("HTTP/1.1 400 Bad Request\n")) << *response;
    EXPECT_FALSE(capture.contains(LogLevel::debug, "[HTTP] - create new app configuration, json: "));
    for (auto& text : capture.texts()) {
        EXPECT_EQ(text.find("create new app"), std::string::npos);
    }

    std::string reason;
    try {
        [[maybe_unused]] auto parsed = json::parse("{");
    } catch (const json::parse_error& error) {
        reason = error.what();
    }
    const auto expected = settingsRefusal(reason);
    capture.clear();
    EXPECT_EQ(request("POST", "/config/general", "{"), expected);
    // The line comes before the body is parsed.
    EXPECT_EQ(capture.texts().front(), "[HTTP] set general config");
}

TEST_F(ResourcesTest, FavouritesClampTheCountAndLeaveOutConfiguredApplications) {
    const json apps = {
        {"apps", json::array({json{{"*", {{"name", "*"}}}}, json{{"C:\\Tools\\Edit.EXE", json::object()}},
                              json{{"/usr/bin/term", json::object()}}})}};
    EXPECT_CALL(manager, getApps(0)).Times(6).WillRepeatedly(Return(apps));
    platform->applications = json{{"apps", json::array()}};
    EXPECT_EQ(request("GET", "/favapps"), successResponse(platform->applications));
    (void)request("GET", "/favapps?count=0");
    (void)request("GET", "/favapps?count=50");
    (void)request("GET", "/favapps?count=-1");
    (void)request("GET", "/favapps?count=-65536");
    (void)request("GET", "/favapps?count=65536");
    std::vector<json> asked;
    for (auto& call : platform->calls()) {
        if (call.operation == "listApplications") {
            asked.push_back(call.args);
        }
    }
    const json excluded = json::array({"/usr/bin/term", "c:\\tools\\edit.exe"});
    EXPECT_EQ(asked, (std::vector<json>{json::array({10, excluded}), json::array({1, excluded}),
                                        json::array({20, excluded}), json::array({20, excluded}),
                                        json::array({20, excluded}), json::array({20, excluded})}));
    EXPECT_TRUE(capture.contains(LogLevel::debug, "[HTTP] - get favorite apps"));
}

TEST_F(ResourcesTest, AnErrorWithoutAMessageStillAnswersAndTheServerGoesOn) {
    EXPECT_CALL(manager, getDevices()).WillOnce(Throw(42)).WillOnce(Return(json::object()));
    EXPECT_EQ(request("GET", "/devices"), failureResponse("Unknown error"));
    EXPECT_EQ(request("GET", "/devices"), successResponse(json::object()));
}

TEST_F(ResourcesTest, AChangeForAnotherRevisionIsRefusedBeforeAnythingIsDone) {
    // The strict mock fails the case when a refused change reaches the settings.
    const auto refused = failureResponse("The settings changed meanwhile", json{{"revision", 7}},
                                         statusPreconditionFailed, revisionHeader);
    for (const std::string target :
         {"/config", "/config/general", "/config/apps?device=1", "/config/apps/name", "/config/buttons",
          "/config/pointer", "/config/scroll", "/config/snippets"}) {
        for (const std::string tag : {"\"6\"", "\"70\"", "W/\"7\"", "7"}) {
            EXPECT_EQ(request("POST", target, "{}", "If-Match: " + tag + "\r\n"), refused) << target << tag;
        }
    }
    EXPECT_EQ(request("DELETE", "/config/apps?device=1", "{}", "If-Match: \"6\"\r\n"), refused);
    const json renamed = {{"apps", {{{"/a", "A"}}}}};
    EXPECT_CALL(manager, renameApp(AppId("/a"), 1, json{{"name", "A"}})).Times(4);
    EXPECT_CALL(manager, getApps(1)).Times(4).WillRepeatedly(Return(renamed));
    for (const std::string header :
         {"", "If-Match: \"7\"\r\n", "If-Match: *\r\n", "If-Match: \"3\" , \"7\"\r\n"}) {
        EXPECT_EQ(request("POST", "/config/apps/name?app=/A&device=1", R"({"name":"A"})", header),
                  settingsAnswer(renamed))
            << header;
    }
    EXPECT_CALL(manager, setSnippets(AppId("*"), 2, json{{"snippets", json::array()}}));
    EXPECT_CALL(manager, getSnippets(AppId("*"), 2)).WillOnce(Return(json::array({1})));
    EXPECT_EQ(request("POST", "/config/snippets?app=*&device=2", R"({"snippets":[]})"),
              settingsAnswer(json::array({1})));
}

TEST_F(ResourcesTest, TrackballsLearnForTheSecondsAskedOrThirty) {
    EXPECT_CALL(manager, startLearning(4097, std::chrono::seconds(12)));
    EXPECT_CALL(manager, startLearning(4097, std::chrono::seconds(30)));
    EXPECT_CALL(manager, stopLearning(4097));
    EXPECT_EQ(request("POST", "/devices/learn?device=4097", R"({"seconds":12})"),
              successResponse(json{{"learning", true}, {"seconds", 12}}));
    EXPECT_EQ(request("POST", "/devices/learn?device=4097"),
              successResponse(json{{"learning", true}, {"seconds", 30}}));
    for (const std::string body : {R"({"seconds":0})", R"({"seconds":31})", R"({"seconds":2.5})", "[]"}) {
        EXPECT_EQ(request("POST", "/devices/learn?device=4097", body),
                  failureResponse("\"seconds\" must be a whole number from 1 to 30"));
    }
    EXPECT_EQ(request("DELETE", "/devices/learn?device=4097"), successResponse(json{{"learning", false}}));
}

TEST(CommandServerPort, ComesFromTheEnvironmentWhenValid) {
    setEnvironmentVariable("OBX_HTTP_PORT", "19090");
    EXPECT_EQ(commandServerPort(), 19090);
    setEnvironmentVariable("OBX_HTTP_PORT", "http");
    EXPECT_EQ(commandServerPort(), defaultCommandPort);
    setEnvironmentVariable("OBX_HTTP_PORT", "70000");
    EXPECT_EQ(commandServerPort(), defaultCommandPort);
    unsetEnvironmentVariable("OBX_HTTP_PORT");
    EXPECT_EQ(commandServerPort(), defaultCommandPort);
}

TEST(CommandServerLifecycle, TakenPortIsLoggedAndStopStillReturns) {
    ::testing::NiceMock<MockDeviceManager> manager;
    LogCapture capture;
    CommandServer first(manager, 0);
    first.start();
    const auto port = first.waitUntilListening();
    CommandServer second(manager, port);
    second.start();
    EXPECT_EQ(second.waitUntilListening(), 0);
    second.stop();
    bool logged = false;
    for (auto& record : capture.records()) {
        logged |=
            record.level == LogLevel::error && record.text.starts_with("Command server could not serve");
    }
    EXPECT_TRUE(logged);
    EXPECT_TRUE(capture.contains(LogLevel::debug, "starting command server.."));
    EXPECT_TRUE(capture.contains(LogLevel::debug, "command server stopped"));
}

} // namespace
} // namespace obx

namespace obx {
namespace {

std::string buttonEvent(int device, std::uint32_t pressed, std::uint32_t released) {
    return "event: button\ndata: {\"device\":" + std::to_string(device) +
           ",\"pressed\":" + std::to_string(pressed) + ",\"released\":" + std::to_string(released) + "}\n\n";
}

class DeviceEventsTest : public ResourcesTest {
protected:
    // A subscriber that has read the head, the opening list of trackballs
    // and the status notices.
    std::unique_ptr<RawHttpClient> subscribe(const json& devices) {
        auto subscriber = std::make_unique<RawHttpClient>(port);
        subscriber->send(httpRequest("GET", "/events"));
        const std::string status = "event: status\ndata: {\"notices\":[]}\n\n";
        const auto opening = subscriber->readUntil(status);
        EXPECT_TRUE(opening &&
                    opening->starts_with("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"));
        EXPECT_TRUE(opening &&
                    opening->ends_with("\r\n\r\nevent: devices\ndata: " + devices.dump() + "\n\n" + status));
        return subscriber;
    }
};

TEST_F(DeviceEventsTest, TheWorkersReportsReachSubscribersInOrderWithTheDeviceListAsTheApiAnswersIt) {
    const json before{{"devices", json::array()}};
    const json after{{"devices", {{{"id", 4097}, {"name", "Trackball \"A\""}, {"present", true}}}}};
    EXPECT_CALL(manager, getDevices())
        .WillOnce(Return(before))
        .WillOnce(Return(before))
        .WillOnce(Return(after));
    auto first = subscribe(before);
    auto second = subscribe(before);
    std::thread worker([this] {
        auto& events = server->deviceEvents();
        events.buttonEvent(4097, 0x20, 0);
        events.devicesChanged();
        events.buttonEvent(4097, 0, 0x20);
        events.buttonEvent(12, 0x80000000u, 1);
    });
    worker.join();
    const auto expected = buttonEvent(4097, 32, 0) + "event: devices\ndata: " + after.dump() + "\n\n" +
                          buttonEvent(4097, 0, 32) + buttonEvent(12, 2147483648, 1);
    for (auto* subscriber : {first.get(), second.get()}) {
        EXPECT_EQ(subscriber->readUntil("\"released\":1}\n\n"), expected);
    }
}

TEST_F(DeviceEventsTest, PagesOfOtherSitesAreRefusedBeforeAnyWorkAndHoldNoPlaceOfTheStream) {
    // The strict mock fails the case when a refused request reaches the settings or the trackballs.
    const auto refused = failureResponse("Request origin not allowed", statusForbidden);
    for (const std::string site : {"cross-site", "same-site", "Cross-Site", "same-site", "cross-site"}) {
        for (const std::string target : {"/events", "/config"}) {
            RawHttpClient page(port);
            EXPECT_EQ(page.request(httpRequest("GET", target, "", "Sec-Fetch-Site: " + site + "\r\n")),
                      refused)
                << site << " " << target;
        }
    }
    const json devices{{"devices", json::array()}};
    EXPECT_CALL(manager, getDevices()).Times(4).WillRepeatedly(Return(devices));
    std::vector<std::unique_ptr<RawHttpClient>> subscribers;
    for (int place = 0; place < 4; ++place) {
        subscribers.push_back(subscribe(devices));
    }
    // The page itself, and an address the user opened.
    EXPECT_CALL(manager, getSettings()).Times(2).WillRepeatedly(Return(json::object()));
    for (const std::string site : {"same-origin", "none"}) {
        EXPECT_EQ(client->request(httpRequest("GET", "/config", "", "Sec-Fetch-Site: " + site + "\r\n")),
                  settingsAnswer(json::object()));
    }
}

TEST_F(DeviceEventsTest, StatusNoticesAreAnsweredAndToldOncePerRunOfChanges) {
    const json devices{{"devices", json::array()}};
    EXPECT_CALL(manager, getDevices()).WillOnce(Return(devices));
    auto subscriber = subscribe(devices);
    auto& notices = StatusNotices::instance();
    notices.set("driver", "The trackball driver does not answer.");
    notices.set("driver", "The trackball driver does not answer.");
    const json one{{"notices", {{{"source", "driver"}, {"text", "The trackball driver does not answer."}}}}};
    EXPECT_EQ(subscriber->readUntil("}]}\n\n"), "event: status\ndata: " + one.dump() + "\n\n");
    EXPECT_EQ(request("GET", "/status"), successResponse(one));
    notices.clear("driver");
    EXPECT_EQ(subscriber->readUntil("[]}\n\n"), "event: status\ndata: {\"notices\":[]}\n\n");
}

TEST_F(DeviceEventsTest, NoticesBeyondTheBoundAreDroppedAndCountedWhileTheServerIsBusy) {
    const json devices{{"devices", json::array()}};
    std::promise<void> release;
    std::promise<void> busy;
    EXPECT_CALL(manager, getDevices()).WillOnce(Return(devices)).WillOnce([&] {
        busy.set_value();
        release.get_future().wait();
        return devices;
    });
    auto subscriber = subscribe(devices);
    RawHttpClient blocking(port);
    blocking.send(httpRequest("GET", "/devices"));
    busy.get_future().wait();
    constexpr int extra = 10;
    for (std::size_t i = 0; i < DeviceEventFeed::noticeLimit + extra; ++i) {
        server->deviceEvents().buttonEvent(1, static_cast<std::uint32_t>(i), 0);
    }
    release.set_value();
    EXPECT_EQ(blocking.readResponse(), successResponse(devices));
    std::string expected;
    for (std::size_t i = 0; i < DeviceEventFeed::noticeLimit; ++i) {
        expected += buttonEvent(1, static_cast<std::uint32_t>(i), 0);
    }
    EXPECT_EQ(subscriber->readUntil(buttonEvent(1, DeviceEventFeed::noticeLimit - 1, 0)), expected);
    EXPECT_TRUE(
        capture.contains(LogLevel::warning, "[HTTP] - 10 device events came faster than they could be sent"));
}

} // namespace
} // namespace obx
