// The obxsvc program as the user's service manager and desktop run it: a
// private session bus with a mocked notification daemon, a stub xdg-open on
// PATH that records the address it was given, and the state, data and
// temporary folders of its own.

#include "PrivateNotifications.h"
#include "service/ProductPage.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace obx::test {
namespace {

using namespace std::chrono_literals;

class ServiceProgramTest : public ::testing::Test {
protected:
    ServiceProgramTest() {
        for (const char* name : {"bin", "state", "data", "tmp"}) {
            std::filesystem::create_directory(folder_ / name);
        }
        writeExecutable(folder_ / "bin" / "xdg-open",
                        "#!/bin/sh\nprintf '%s' \"$1\" > '" + (folder_ / "opened").string() + "'\n");
        const char* path = std::getenv("PATH");
        environment_ = {bus_.environmentEntry(),
                        "PATH=" + (folder_ / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"),
                        "XDG_STATE_HOME=" + (folder_ / "state").string(),
                        "XDG_DATA_HOME=" + (folder_ / "data").string(),
                        "XDG_DATA_DIRS=" + (folder_ / "data").string(),
                        "TMPDIR=" + (folder_ / "tmp").string(),
                        "LANGUAGE=",
                        "LC_ALL=",
                        "LC_MESSAGES=",
                        "LANG=C.UTF-8"};
    }

    static void writeExecutable(const std::filesystem::path& path, const std::string& content) {
        writeFile(path, content);
        ::chmod(path.c_str(), 0755);
    }

    void setEnvironment(const std::string& name, const std::string& value) {
        for (auto& entry : environment_) {
            if (entry.starts_with(name + "=")) {
                entry = name + "=" + value;
                return;
            }
        }
        environment_.push_back(name + "=" + value);
    }

    std::unique_ptr<SpawnedProcess> start(const std::string& option) {
        return std::make_unique<SpawnedProcess>(std::vector<std::string>{OBXSVC_PATH, option}, environment_,
                                                folder_ / "output");
    }

    std::filesystem::path statePath() const {
        return folder_ / "state" / "Halvex" / "Ombrix" / "notification.json";
    }
    std::string log() const { return readFile(folder_ / "tmp" / "obxsvc.log"); }
    std::string opened() const { return readFile(folder_ / "opened"); }

    NotifyCall waitForNotification() {
        std::vector<NotifyCall> calls;
        EXPECT_TRUE(eventually([&] { return !(calls = bus_.notifyCalls()).empty(); }));
        EXPECT_EQ(calls.size(), 1u);
        return calls.empty() ? NotifyCall{} : calls.front();
    }

    PrivateNotifications bus_;
    TempFolder folder_;
    std::vector<std::string> environment_;
};

TEST_F(ServiceProgramTest, ThePopupSpeaksTheUsersLanguageAndItsClickOpensTheProductPage) {
    setEnvironment("LANG", "de_DE.UTF-8");
    auto popup = start("-showpopup");
    const auto notification = waitForNotification();
    EXPECT_EQ(notification.summary, "Halvex");
    // The German message, cut after its 99th character.
    EXPECT_EQ(notification.body, "Laden Sie bitte das Quellane-Dienstprogramm von unserer Website herunter, "
                                 "um das Beste aus unseren ");
    ASSERT_GE(notification.actions.size(), 2u);
    EXPECT_EQ(notification.actions.front(), "default");
    EXPECT_TRUE(popup->running());

    bus_.invokeDefaultAction(1);
    EXPECT_EQ(popup->waitExit(kServiceWait), 0);
    EXPECT_TRUE(eventually([&] { return opened() == productPageAddress; })) << opened();
    EXPECT_EQ(log(), "Quellane product webpage started\n");
}

TEST_F(ServiceProgramTest, LanguageComesFirstAndAClickOnAnotherNotificationIsNotOurs) {
    setEnvironment("LANGUAGE", "zh_CN:en_US");
    setEnvironment("LANG", "de_DE.UTF-8");
    auto popup = start("/SHOWPOPUP");
    EXPECT_EQ(waitForNotification().body,
              "请从我们网站下载 Quellane 实用程序，以便更好地使用我们的输入设备。");
    bus_.invokeDefaultAction(7);
    EXPECT_FALSE(popup->waitExit(500ms));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "opened"));
    popup->signal(SIGTERM);
}

TEST_F(ServiceProgramTest, GoToWebOpensThePageAtOnce) {
    auto process = start("-GoToWeb");
    EXPECT_EQ(process->waitExit(kServiceWait), 0);
    EXPECT_TRUE(eventually([&] { return opened() == productPageAddress; }));
    EXPECT_TRUE(bus_.notifyCalls().empty());
}

TEST_F(ServiceProgramTest, AnInstalledUtilityIsFoundAtTheFirstCheck) {
    writeExecutable(folder_ / "bin" / "Quellane2", "#!/bin/sh\n");
    auto service = start("-debug");
    EXPECT_TRUE(eventually([&] { return log().find("Quellane detected") != std::string::npos; }));
    service->signal(SIGINT);
    EXPECT_EQ(service->waitExit(kServiceWait), 0);
    EXPECT_EQ(log(), "Starting Halvex Ombrix service...\n"
                     "Notify thread - Quellane detected, nothing to do.\n"
                     "Stopping Halvex Ombrix service...\n");
    EXPECT_EQ(readFile(folder_ / "output").rfind("Press Ctrl+C or Ctrl+Break to quit...\n", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(statePath()));
}

TEST_F(ServiceProgramTest, ADesktopEntryCountsAsInstalled) {
    std::filesystem::create_directories(folder_ / "data" / "applications");
    writeFile(folder_ / "data" / "applications" / "Quellane2.desktop", "[Desktop Entry]\n");
    auto service = start("-debug");
    EXPECT_TRUE(eventually([&] { return log().find("Quellane detected") != std::string::npos; }));
    service->signal(SIGTERM);
    EXPECT_EQ(service->waitExit(kServiceWait), 0);
}

// A real minute: the first start records the notification and shows the
// popup; the second start finds the record and does nothing.
TEST_F(ServiceProgramTest, TheFirstStartNotifiesAfterAMinuteAndTheSecondDoesNothing) {
    auto first = start("-debug");
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(statePath()); }, 60s + kServiceWait));
    const auto state = readFile(statePath());
    EXPECT_TRUE(state.starts_with("{\"DownloadNotified\":")) << state;
    EXPECT_EQ(waitForNotification().summary, "Halvex");
    first->signal(SIGTERM);
    EXPECT_EQ(first->waitExit(kServiceWait), 0);
    EXPECT_EQ(log(), "Starting Halvex Ombrix service...\n"
                     "Notify thread - forking self to show popup.\n"
                     "Stopping Halvex Ombrix service...\n");

    std::filesystem::remove(folder_ / "tmp" / "obxsvc.log");
    auto second = start("-debug");
    EXPECT_TRUE(eventually([&] { return log().find("previously notified") != std::string::npos; }));
    second->signal(SIGINT);
    EXPECT_EQ(second->waitExit(kServiceWait), 0);
    EXPECT_EQ(log(), "Starting Halvex Ombrix service...\n"
                     "Notify thread - previously notified, nothing to do.\n"
                     "Stopping Halvex Ombrix service...\n");
    EXPECT_EQ(bus_.notifyCalls().size(), 1u);
    EXPECT_EQ(readFile(statePath()), state);
}

TEST_F(ServiceProgramTest, StoppingDuringTheMinuteEndsPromptlyAndRecordsNothing) {
    auto service = start("-debug");
    EXPECT_TRUE(eventually([&] { return log().find("Starting") != std::string::npos; }));
    const auto asked = std::chrono::steady_clock::now();
    service->signal(SIGTERM);
    EXPECT_EQ(service->waitExit(kServiceWait), 0);
    // Far below the minute, however busy the machine.
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 30s);
    EXPECT_FALSE(std::filesystem::exists(statePath()));
}

} // namespace
} // namespace obx::test
