#include "HelperProcess.h"
#include "RawHttpClient.h"
#include "RunningHelper.h"

#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

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

// The event stream on stream, its response header read.
void subscribe(RawHttpClient& stream, std::uint16_t port) {
    stream.send(httpRequest("GET", "/events", "",
                            "Origin: http://127.0.0.1:" + std::to_string(port) +
                                "\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n"));
    EXPECT_TRUE(stream.readUntil("\r\n\r\n"));
}

TEST(EventStreamProgramTest, ATrackballArrivingAndItsButtonsReachTheSubscriberOfTheRunningHelper) {
    HelperSetting setting;
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    RawHttpClient stream(setting.port());
    subscribe(stream, setting.port());
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

std::string fileText(const std::filesystem::path& file) {
    std::ostringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

// The helper against the real obxkernd serving hardware: its pointing-devices socket lists what this
// machine has (no hidraw device on a test machine, and the daemon has no stand-in for one), takes
// choices into its state file and refuses letting go what devices.conf lists.
TEST(EventStreamProgramTest, TheHelperRelaysTheDaemonsListAndTheChoiceAndRefusesBadRequests) {
    HelperSetting setting;
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    RawHttpClient stream(setting.port());
    subscribe(stream, setting.port());
    const auto table = setting.folder() / "devices.conf";
    const auto state = setting.folder() / "state";
    std::ofstream(table) << "0000:0000 nothing real\n";
    const SpawnedProcess daemon({std::string(OBXKERND_PATH), "--runtime-dir",
                                 (setting.folder() / "run").string(), "--devices-conf", table.string(),
                                 "--state-dir", state.string()},
                                {}, setting.folder() / "obxkernd.log");
    // The list the daemon tells, once the helper has connected to it.
    ASSERT_EQ(nextEvent(stream, "otherDevices"), (json{{"devices", json::array()}}))
        << setting.log() << fileText(setting.folder() / "obxkernd.log");

    RawHttpClient api(setting.port());
    auto post = [&](const std::string& body) {
        return api.request(httpRequest("POST", "/devices/other", body)).value_or("no answer");
    };
    const struct {
        std::string body;
        std::string reason;
    } refused[] = {
        {R"({"take":"yes","vendor":4660,"product":22136})", R"("take\" must be true)"},
        {R"({"take":true,"vendor":65536,"product":22136})", "from 0 to 65535"},
        {R"({"take":true,"vendor":4660})", R"(\"product\" must be a number)"},
        {R"({"take":true,"vendor":4660,"product":1,"serial":7})", R"(\"serial\" must be a string)"},
        {R"([1])", "must be an object"},
        {R"({"take":true,"vendor":4660,"product":1,"serial":"A1\u0001"})", "obxkernd refused: "},
        {R"({"take":false,"vendor":0,"product":0})",
         "obxkernd refused: 0000:0000 cannot be let go: devices.conf lists it"},
    };
    for (const auto& bad : refused) {
        const auto answer = post(bad.body);
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 400")) << bad.body << "\n" << answer;
        EXPECT_NE(answer.find(bad.reason), std::string::npos) << bad.body << "\n" << answer;
    }
    EXPECT_FALSE(std::filesystem::exists(state / "chosen-devices")) << "a refused request changes nothing";

    const auto taken = post(R"({"take":true,"vendor":4660,"product":22136,"serial":"A1"})");
    EXPECT_TRUE(taken.starts_with("HTTP/1.1 200") && taken.ends_with("{\"devices\":[]}\n")) << taken;
    EXPECT_NE(fileText(state / "chosen-devices").find("1234:5678 A1"), std::string::npos)
        << fileText(state / "chosen-devices");
    EXPECT_TRUE(
        post(R"({"take":false,"vendor":4660,"product":22136,"serial":"A1"})").starts_with("HTTP/1.1 200"));
    EXPECT_EQ(fileText(state / "chosen-devices").find("1234:5678"), std::string::npos);
}

} // namespace
} // namespace obx::test
