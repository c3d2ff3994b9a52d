#include "platform/linux/session/LogindWatch.h"

#include "HelperProcess.h"
#include "PrivateLogind.h"
#include "base/LogCapture.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace obx::linuxos {
namespace {

using test::waitUntil;

class RecordingSink : public ISessionEventSink {
public:
    void onSessionChange(std::uint32_t event) override { sessions.push_back(event); }
    int onPowerBroadcast(std::uint32_t event) override {
        powers.push_back(event);
        if (event == powerEvent::suspend && duringSuspend) {
            duringSuspend();
        }
        return 1;
    }

    std::vector<std::uint32_t> sessions;
    std::vector<std::uint32_t> powers;
    std::function<void()> duringSuspend;
};

// Sets an environment variable for the lifetime of the object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class LogindWatchTest : public ::testing::Test {
protected:
    LogindWatchTest()
        : bus("DBUS_SYSTEM_BUS_ADDRESS", logind.address()),
          session("XDG_SESSION_ID", "c" + std::to_string(::getpid())) {
        logind.addSession("c" + std::to_string(::getpid()), true);
    }

    // Runs the watch's part of the main loop until condition holds.
    bool pumpUntil(LogindWatch& watch, const std::function<bool()>& condition) {
        return waitUntil([&] {
            std::vector<pollfd> fds;
            watch.addDescriptors(fds);
            ::poll(fds.data(), fds.size(), 50);
            watch.handle(fds);
            return condition();
        });
    }

    test::PrivateLogind logind;
    ScopedVariable bus;
    ScopedVariable session;
    RecordingSink sink;
};

TEST_F(LogindWatchTest, SleepWaitsForTheTeardownAndResumeTakesTheLockAgain) {
    LogindWatch watch(sink);
    EXPECT_EQ(logind.sleepDelayLocks(), 1);
    int locksDuringTeardown = -1;
    sink.duringSuspend = [&] { locksDuringTeardown = logind.sleepDelayLocks(); };
    logind.prepareForSleep(true);
    ASSERT_TRUE(pumpUntil(watch, [&] { return !sink.powers.empty(); }));
    EXPECT_EQ(sink.powers, std::vector<std::uint32_t>{powerEvent::suspend});
    EXPECT_EQ(locksDuringTeardown, 1);
    EXPECT_TRUE(waitUntil([&] { return logind.sleepDelayLocks() == 0; }));
    logind.prepareForSleep(false);
    ASSERT_TRUE(pumpUntil(watch, [&] { return sink.powers.size() == 2; }));
    EXPECT_EQ(sink.powers.back(), powerEvent::resumeAutomatic);
    EXPECT_EQ(logind.sleepDelayLocks(), 1);
}

TEST_F(LogindWatchTest, SessionActivityBecomesConsoleNotices) {
    LogindWatch watch(sink);
    const auto id = "c" + std::to_string(::getpid());
    logind.setSessionActive(id, false);
    ASSERT_TRUE(pumpUntil(watch, [&] { return sink.sessions.size() == 1; }));
    logind.setSessionActive(id, true);
    ASSERT_TRUE(pumpUntil(watch, [&] { return sink.sessions.size() == 2; }));
    EXPECT_EQ(sink.sessions,
              (std::vector<std::uint32_t>{sessionEvent::consoleDisconnect, sessionEvent::consoleConnect}));
    EXPECT_TRUE(sink.powers.empty());
}

TEST(LogindWatchWithoutBus, LogsAndWatchesNothing) {
    test::TempFolder folder;
    ScopedVariable bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (folder / "no-bus").string());
    RecordingSink sink;
    LogCapture capture;
    LogindWatch watch(sink);
    std::vector<pollfd> fds;
    watch.addDescriptors(fds);
    EXPECT_TRUE(fds.empty());
    EXPECT_EQ(watch.timeoutMs(), -1);
    bool warned = false;
    for (auto& record : capture.records()) {
        warned = warned || (record.level == LogLevel::warning &&
                            record.text.rfind("LogindWatch - no system bus (", 0) == 0);
    }
    EXPECT_TRUE(warned);
}

} // namespace
} // namespace obx::linuxos
