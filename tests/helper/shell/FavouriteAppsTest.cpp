#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "DesktopFolders.h"
#include "HelperProcess.h"
#include "RawHttpClient.h"
#include "RunningHelper.h"
#include "XvfbServer.h"

#include <nlohmann/json.hpp>
#include <set>

namespace obx::test {
namespace {

using nlohmann::json;

// The body of a 200 response as JSON; null for anything else.
json answer(std::uint16_t port, const std::string& method, const std::string& target,
            const std::string& body = "") {
    RawHttpClient client(port);
    const auto response =
        client.request(httpRequest(method, target, body, "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"))
            .value_or("");
    // The server ends its lines with a bare line feed.
    const auto end = response.find("\n\n");
    if (response.rfind("HTTP/1.1 200 OK", 0) != 0 || end == std::string::npos) {
        return nullptr;
    }
    return json::parse(response.substr(end + 2), nullptr, false);
}

TEST(FavouriteAppsTest, TheHelperOffersAtMostTheCountAndNoProgramThatHasAProfile) {
    x11::test::XvfbServer display;
    ASSERT_FALSE(display.displayName().empty()) << display.failure();
    HelperSetting setting;
    const x11::test::DesktopFolders folders;
    for (const auto& [name, value] : folders.environment(setting.folder() / "config")) {
        setting.setEnvironment(name, value);
    }
    folders.nameDesktop(setting.folder() / "config");
    setting.setEnvironment("DISPLAY", display.displayName());
    VirtualTrackball trackball(setting);
    ASSERT_TRUE(trackball.ready());
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    json devices;
    ASSERT_TRUE(waitUntil([&] {
        devices = answer(setting.port(), "GET", "/devices");
        return devices.is_object() && !devices["devices"].empty();
    })) << setting.log();
    const auto device = std::to_string(devices["devices"][0]["id"].get<int>());
    const auto editor = folders.program("editor").string();
    ASSERT_FALSE(answer(setting.port(), "POST", "/config/apps?device=" + device,
                        json{{"identifier", editor}, {"name", "Editor"}}.dump())
                     .is_null())
        << setting.log();

    const auto offered = answer(setting.port(), "GET", "/favapps?count=3&device=" + device);

    ASSERT_TRUE(offered.is_array()) << setting.log();
    // The user's entries come first, then the system's, each folder in
    // name order; editor's entry would be the very first.
    std::set<std::string> programs;
    for (const auto& record : offered) {
        programs.insert(record.at("program").get<std::string>());
        EXPECT_FALSE(record.at("icon").get<std::string>().empty());
        EXPECT_FALSE(record.at("name").get<std::string>().empty());
    }
    EXPECT_EQ(programs,
              (std::set<std::string>{folders.program("mailer").string(), folders.program("viewer").string(),
                                     folders.program("writer").string()}));
}

} // namespace
} // namespace obx::test
