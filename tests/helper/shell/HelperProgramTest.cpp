#include "HelperProcess.h"
#include "PrivateLogind.h"
#include "RawHttpClient.h"
#include "RunningHelper.h"

#include <csignal>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace obx::test {
namespace {

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool logHas(const HelperSetting& setting, const std::string& text) {
    return setting.log().find(text) != std::string::npos;
}

TEST(HelperProgramTest, RunsHeadlessAndEndsWithZeroOnSigterm) {
    HelperSetting setting;
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    helper.process().signal(SIGTERM);
    EXPECT_EQ(helper.process().waitExit(), 0);
    const std::string log = setting.log();
    EXPECT_NE(log.find("Log initialized, logLevel: info"), std::string::npos) << log;
    EXPECT_NE(log.find("the helper runs headless and input is only logged"), std::string::npos) << log;
    EXPECT_NE(log.find("Log deinitialized"), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(setting.logFile(1)));
}

TEST(HelperProgramTest, LogLinesCarryTimeStampThreadAndMessage) {
    HelperSetting setting;
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    helper.process().signal(SIGINT);
    EXPECT_EQ(helper.process().waitExit(), 0);
    std::istringstream lines(setting.log());
    std::string first;
    std::getline(lines, first);
    EXPECT_TRUE(std::regex_match(first, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d+: 0x[0-9a-f]+ )"
                                                   R"(Log initialized, logLevel: info)")))
        << first;
}

TEST(HelperProgramTest, VerboseWithLevelFourLogsAtTrace) {
    HelperSetting setting;
    RunningHelper helper(setting, {"--verbose", "--logLevel", "4"});
    ASSERT_TRUE(helper.started());
    helper.process().signal(SIGTERM);
    EXPECT_EQ(helper.process().waitExit(), 0);
    EXPECT_TRUE(logHas(setting, "Log initialized, logLevel: trace"));
}

// Runs a helper with args to a clean end; its log.
std::string logOfRun(const std::vector<std::string>& args) {
    HelperSetting setting;
    RunningHelper helper(setting, args);
    EXPECT_TRUE(helper.started());
    helper.process().signal(SIGTERM);
    EXPECT_EQ(helper.process().waitExit(), 0);
    return setting.log();
}

TEST(HelperProgramTest, LevelsAreClamped) {
    EXPECT_NE(logOfRun({"--logLevel=-3"}).find("Log initialized, logLevel: trace"), std::string::npos);
    EXPECT_NE(logOfRun({"--logLevel", "4"}).find("Log initialized, logLevel: error"), std::string::npos);
    // At the highest level only fatal records are written, and the helper
    // writes none in a clean run.
    EXPECT_EQ(logOfRun({"--logLevel", "9"}), "");
}

TEST(HelperProgramTest, WordAsLevelFailsWithOneAndTheParserMessage) {
    HelperSetting setting;
    HelperProcess process(setting, {"--logLevel", "loud"});
    EXPECT_EQ(process.waitExit(), 1);
    const std::string output = process.errorOutput();
    EXPECT_NE(output.find("the argument ('loud') for option '--logLevel' is invalid"), std::string::npos)
        << output;
    EXPECT_NE(output.find("Error starting the app, reason: "), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(setting.logFile()));
}

TEST(HelperProgramTest, UnknownOptionFailsWithOne) {
    HelperSetting setting;
    EXPECT_EQ(runHelper(setting, {"--help"}), 1);
}

TEST(HelperProgramTest, SecondInstanceEndsWithTwoAndWritesNoLogLine) {
    HelperSetting setting;
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    const std::string before = setting.log();
    EXPECT_EQ(runHelper(setting, {}), 2);
    EXPECT_EQ(runHelper(setting, {"--verbose"}), 2);
    EXPECT_EQ(setting.log(), before);
    EXPECT_TRUE(helper.process().running());
}

TEST(HelperProgramTest, InstancesOfOtherSessionsRunSideBySide) {
    HelperSetting first;
    HelperSetting second;
    RunningHelper one(first);
    RunningHelper two(second);
    EXPECT_TRUE(one.started());
    EXPECT_TRUE(two.started());
}

TEST(HelperProgramTest, QuitEndsTheRunningInstance) {
    HelperSetting setting;
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    EXPECT_EQ(runHelper(setting, {"--quit"}), 0);
    // quit waits for the instance to end, so it is gone (or going) now.
    EXPECT_EQ(helper.process().waitExit(), 0);
    EXPECT_TRUE(logHas(setting, "Log deinitialized"));
    EXPECT_FALSE(httpAnswers(setting.port()));
}

TEST(HelperProgramTest, QuitWithoutInstanceEndsAtOnceAndWritesNoLog) {
    HelperSetting setting;
    EXPECT_EQ(runHelper(setting, {"--quit"}), 0);
    EXPECT_FALSE(std::filesystem::exists(setting.dataFolder()));
}

TEST(HelperProgramTest, ParseFavAppsStartsNormally) {
    HelperSetting setting;
    RunningHelper helper(setting, {"--parseFavApps"});
    EXPECT_TRUE(helper.started());
}

TEST(HelperProgramTest, LaunchGuiStartsTheConfigurationApplicationBesideTheProgram) {
    HelperSetting setting;
    // A copy of the program in a folder of its own, beside a stand-in
    // configuration application that leaves a mark.
    const auto folder = setting.folder() / "programs";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(setting.program, folder / "obxhelper");
    const auto mark = setting.folder() / "launched";
    writeFile(folder / "Quellane2", "#!/bin/sh\npwd > '" + mark.string() + "'\n");
    ::chmod((folder / "Quellane2").c_str(), 0755);
    setting.program = folder / "obxhelper";

    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    EXPECT_EQ(runHelper(setting, {"--launchGui"}), 0);
    ASSERT_TRUE(waitUntil([&] { return readFile(mark).find('\n') != std::string::npos; }));
    EXPECT_EQ(readFile(mark), folder.string() + "\n");
    EXPECT_TRUE(helper.process().running());
}

TEST(HelperProgramTest, LaunchGuiWithoutTheApplicationOpensTheConfigurationPageInTheBrowser) {
    HelperSetting setting;
    // A stand-in for the desktop's opener that leaves a mark with what it was asked to open.
    const auto tools = setting.folder() / "tools";
    std::filesystem::create_directories(tools);
    const auto mark = setting.folder() / "opened";
    writeFile(tools / "xdg-open", "#!/bin/sh\necho \"$@\" > '" + mark.string() + "'\n");
    ::chmod((tools / "xdg-open").c_str(), 0755);
    setting.setEnvironment("PATH", tools.string() + ":/usr/bin:/bin");
    const auto page = "http://127.0.0.1:" + std::to_string(setting.port()) + "/ui/";
    // No helper runs: the page's plain address, where it would say how to open it.
    EXPECT_EQ(runHelper(setting, {"--launchGui"}), 0);
    ASSERT_TRUE(waitUntil([&] { return readFile(mark).find('\n') != std::string::npos; }));
    EXPECT_EQ(readFile(mark), page + "\n");

    // With the helper running, the address carries a code of that helper's, good for one page.
    std::filesystem::remove(mark);
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    EXPECT_EQ(runHelper(setting, {"--launchGui"}), 0);
    ASSERT_TRUE(waitUntil([&] { return readFile(mark).find('\n') != std::string::npos; }));
    const auto opened = readFile(mark);
    ASSERT_TRUE(opened.starts_with(page + "?code=")) << opened;
    const auto code = opened.substr(page.size() + 6, 32);
    RawHttpClient client(setting.port());
    const auto exchange = httpRequest("POST", "/page/session", "{\"code\":\"" + code + "\"}");
    EXPECT_TRUE(client.request(exchange).value_or("").starts_with("HTTP/1.1 200 OK"));
    EXPECT_TRUE(client.request(exchange).value_or("").starts_with("HTTP/1.1 403 Forbidden"));
}

TEST(HelperProgramTest, FirstLogFileIsCounterZeroAndRotationGoesOnInTheNext) {
    HelperSetting setting;
    std::filesystem::create_directories(setting.dataFolder());
    // An earlier run's file just under the rotation size: this run appends
    // to it and passes the size at once.
    writeFile(setting.logFile(), std::string(5 * 1024 * 1024 - 10, 'x') + "\n");
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    helper.process().signal(SIGTERM);
    EXPECT_EQ(helper.process().waitExit(), 0);
    ASSERT_TRUE(std::filesystem::exists(setting.logFile(1)));
    EXPECT_NE(setting.log(0).find("Log initialized, logLevel: info"), std::string::npos);
    EXPECT_NE(setting.log(1).find("Log deinitialized"), std::string::npos);
}

TEST(HelperProgramTest, DebuggerOutputCarriesTheMessagesAlone) {
    HelperSetting setting;
    RunningHelper helper(setting, {"--dbgOutput"});
    ASSERT_TRUE(helper.started());
    helper.process().signal(SIGTERM);
    EXPECT_EQ(helper.process().waitExit(), 0);
    const std::string output = helper.process().errorOutput();
    EXPECT_EQ(output.rfind("Log initialized, logLevel: info\n", 0), 0u) << output;
    EXPECT_NE(output.find("\nLog deinitialized\n"), std::string::npos) << output;
}

// UTF-16 little-endian with a byte-order mark, as the earlier generation
// wrote its settings; ASCII text only.
std::string utf16LittleEndian(const std::string& text) {
    std::string bytes = "\xFF\xFE";
    for (char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

// The earlier generation's settings with one trackball model in the global
// profile.
void writeLegacySettings(const HelperSetting& setting) {
    std::filesystem::create_directories(setting.dataFolder());
    writeFile(setting.dataFolder() / "ObxSettings.xml",
              utf16LittleEndian("<?xml version=\"1.0\" encoding=\"utf-16\"?>\n"
                                "<ObxSettings version=\"3\"><Application name=\"All programs\">"
                                "<Device id=\"1\" speed=\"10\"/></Application></ObxSettings>"));
}

nlohmann::json settingsFile(const HelperSetting& setting) {
    return nlohmann::json::parse(readFile(setting.dataFolder() / "ObxSettings.json"));
}

TEST(HelperProgramTest, LegacySettingsAreMigratedWhenNoSettingsFileExists) {
    HelperSetting setting;
    writeLegacySettings(setting);
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    const auto settings = settingsFile(setting);
    ASSERT_EQ(settings.at("devices").size(), 1u) << settings.dump();
    EXPECT_EQ(settings.at("devices").at(0).at(0), 8209) << settings.dump();
}

TEST(HelperProgramTest, ExistingSettingsFileIsNotReplacedByLegacySettings) {
    HelperSetting setting;
    {
        RunningHelper first(setting);
        ASSERT_TRUE(first.started());
        first.process().signal(SIGTERM);
        ASSERT_EQ(first.process().waitExit(), 0);
    }
    ASSERT_TRUE(settingsFile(setting).at("devices").empty());
    writeLegacySettings(setting);
    RunningHelper second(setting);
    ASSERT_TRUE(second.started());
    EXPECT_TRUE(settingsFile(setting).at("devices").empty());
}

TEST(HelperProgramTest, VirtualButtonPressReachesTheHelper) {
    HelperSetting setting;
    VirtualTrackball trackball(setting);
    ASSERT_TRUE(trackball.ready());
    RunningHelper helper(setting, {"--logLevel", "1"});
    ASSERT_TRUE(helper.started());
    ASSERT_TRUE(waitUntil([&] { return logHas(setting, "Device arrival: "); })) << setting.log();
    // Button 6: the driver maps buttons 1 to 5 to clicks of its own.
    ASSERT_TRUE(trackball.sendButtons(0x20));
    ASSERT_TRUE(trackball.sendButtons(0x00));
    EXPECT_TRUE(waitUntil([&] { return logHas(setting, "Button event: DOWN: 0 UP: 20"); })) << setting.log();
    EXPECT_TRUE(logHas(setting, "Button event: DOWN: 20 UP: 0"));
}

class HelperLogindTest : public ::testing::Test {
protected:
    void SetUp() override {
        setting.setEnvironment("DBUS_SYSTEM_BUS_ADDRESS", logind.address());
        logind.addSession(setting.sessionId(), true);
    }

    bool portClosed() {
        return waitUntil([&] { return !httpAnswers(setting.port()); });
    }
    bool portAnswers() {
        return waitUntil([&] { return httpAnswers(setting.port()); });
    }

    PrivateLogind logind;
    HelperSetting setting;
};

TEST_F(HelperLogindTest, SuspendAndResumeDropAndRebuildTheHelperCore) {
    RunningHelper helper(setting, {"--logLevel", "1"});
    ASSERT_TRUE(helper.started());
    logind.prepareForSleep(true);
    EXPECT_TRUE(portClosed());
    EXPECT_TRUE(waitUntil([&] { return logHas(setting, "command server stopped"); }));
    logind.prepareForSleep(false);
    EXPECT_TRUE(portAnswers());
    const std::string log = setting.log();
    EXPECT_LT(log.find("Power SUSPEND"), log.find("Power - RESUME")) << log;
    EXPECT_TRUE(helper.process().running());
}

TEST_F(HelperLogindTest, AfterResumeTheTrackballIsFoundAgain) {
    VirtualTrackball trackball(setting);
    ASSERT_TRUE(trackball.ready());
    RunningHelper helper(setting, {"--logLevel", "1"});
    ASSERT_TRUE(helper.started());
    ASSERT_TRUE(waitUntil([&] { return logHas(setting, "Device arrival: "); })) << setting.log();
    logind.prepareForSleep(true);
    EXPECT_TRUE(portClosed());
    logind.prepareForSleep(false);
    EXPECT_TRUE(portAnswers());
    EXPECT_TRUE(waitUntil([&] { return occurrences(setting.log(), "Device arrival: ") == 2; }))
        << setting.log();
    ASSERT_TRUE(trackball.sendButtons(0x20));
    EXPECT_TRUE(waitUntil([&] { return logHas(setting, "Button event: DOWN: 20 UP: 0"); })) << setting.log();
}

TEST_F(HelperLogindTest, SessionDeactivationAndActivationDropAndRebuildTheHelperCore) {
    RunningHelper helper(setting, {"--logLevel", "1"});
    ASSERT_TRUE(helper.started());
    logind.setSessionActive(setting.sessionId(), false);
    EXPECT_TRUE(portClosed());
    EXPECT_TRUE(waitUntil([&] { return logHas(setting, "Session change, CONSOLE_DISCONNECT"); }));
    logind.setSessionActive(setting.sessionId(), true);
    EXPECT_TRUE(portAnswers());
    EXPECT_TRUE(logHas(setting, "Session change, CONSOLE_CONNECT"));
    // The helper still quits cleanly after the rebuild.
    EXPECT_EQ(runHelper(setting, {"--quit"}), 0);
    EXPECT_EQ(helper.process().waitExit(), 0);
}

} // namespace
} // namespace obx::test
