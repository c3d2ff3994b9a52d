#include "HelperProcess.h"
#include "RawHttpClient.h"
#include "RunningHelper.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace obx::test {
namespace {

using nlohmann::json;

// The JSON of the next event of the stream, or of the event named.
json nextEvent(RawHttpClient& stream, const std::string& name) {
    for (;;) {
        const auto event = stream.readUntil("\n\n");
        if (!event) {
            return nullptr;
        }
        const auto header = "event: " + name + "\ndata: ";
        if (event->starts_with(header)) {
            return json::parse(event->substr(header.size()), nullptr, false);
        }
    }
}

TEST(EventStreamProgramTest, ATrackballArrivingAndItsButtonsReachTheSubscriberOfTheRunningHelper) {
    HelperSetting setting;
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    RawHttpClient stream(setting.port());
    stream.send(httpRequest("GET", "/events", "",
                            "Origin: http://127.0.0.1:" + std::to_string(setting.port()) +
                                "\r\nHost: 127.0.0.1:" + std::to_string(setting.port()) + "\r\n"));
    ASSERT_TRUE(stream.readUntil("\r\n\r\n"));
    const auto opening = nextEvent(stream, "devices");
    ASSERT_TRUE(opening.is_object()) << opening;
    EXPECT_EQ(opening.dump().find("\"present\":true"), std::string::npos) << opening;

    VirtualTrackball trackball(setting);
    ASSERT_TRUE(trackball.ready());
    const auto arrived = nextEvent(stream, "devices");
    ASSERT_TRUE(arrived.is_object()) << setting.log();
    ASSERT_EQ(arrived["devices"].size(), 1u) << arrived;
    EXPECT_TRUE(arrived["devices"][0]["present"].get<bool>()) << arrived;
    const auto id = arrived["devices"][0]["id"];

    // Button 4 gets an action the driver does not carry out itself, so the helper gets its events.
    RawHttpClient api(setting.port());
    const auto changed = api.request(httpRequest(
        "POST", "/config/buttons?app=*&device=" + id.dump() + "&button=8", R"({"command":"none"})"));
    ASSERT_TRUE(changed && changed->starts_with("HTTP/1.1 200")) << changed.value_or("no answer");
    ASSERT_TRUE(trackball.sendButtons(0x08));
    ASSERT_TRUE(trackball.sendButtons(0x00));
    EXPECT_EQ(nextEvent(stream, "button"), (json{{"device", id}, {"pressed", 8}, {"released", 0}}));
    EXPECT_EQ(nextEvent(stream, "button"), (json{{"device", id}, {"pressed", 0}, {"released", 8}}));
}

} // namespace
} // namespace obx::test
