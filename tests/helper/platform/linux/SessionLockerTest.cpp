#include "platform/linux/session/SessionLocker.h"

#include "LogindMock.h"
#include "base/LogCapture.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace obx::x11::test {
namespace {

namespace fs = std::filesystem;

// The system bus is the mock's private bus, and the one fallback leaves a
// file behind, so that each test sees which way locked the session.
class SessionLockerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* session = std::getenv("XDG_SESSION_ID")) {
            oldSession = session;
        }
        char pattern[] = "/tmp/obx-logind-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        logind = std::make_unique<LogindMock>(folder / "calls");
        ASSERT_FALSE(logind->busAddress().empty()) << "no private bus";
        ASSERT_TRUE(logind->waitUntilReady()) << "the logind mock did not start";
        setenv("DBUS_SYSTEM_BUS_ADDRESS", logind->busAddress().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (oldSession) {
            setenv("XDG_SESSION_ID", oldSession->c_str(), 1);
        } else {
            unsetenv("XDG_SESSION_ID");
        }
        logind.reset();
        fs::remove_all(folder);
    }

    SessionLocker locker() const { return SessionLocker({{"/bin/sh", "-c", "touch " + fallbackMark()}}); }
    std::string fallbackMark() const { return (folder / "fallback-ran").string(); }
    bool fallbackRan() const { return fs::exists(fallbackMark()); }

    fs::path folder;
    std::unique_ptr<LogindMock> logind;
    std::optional<std::string> oldSession;
};

TEST_F(SessionLockerTest, LocksTheSessionNamedByTheEnvironmentThroughLogind) {
    setenv("XDG_SESSION_ID", "c17", 1);
    LogCapture capture;
    EXPECT_TRUE(locker().lock());
    EXPECT_EQ(logind->calls(), std::vector<std::string>{"LockSession \"c17\""});
    EXPECT_FALSE(fallbackRan());
    EXPECT_TRUE(capture.records().empty());
}

TEST_F(SessionLockerTest, OutsideASessionLogindPicksTheCallersOwn) {
    unsetenv("XDG_SESSION_ID");
    EXPECT_TRUE(locker().lock());
    setenv("XDG_SESSION_ID", "", 1);
    EXPECT_TRUE(locker().lock());
    EXPECT_EQ(logind->calls(), (std::vector<std::string>{"LockSession \"auto\"", "LockSession \"auto\""}));
    EXPECT_FALSE(fallbackRan());
}

TEST_F(SessionLockerTest, ARefusalFallsBackToTheCommands) {
    setenv("XDG_SESSION_ID", "c17", 1);
    ASSERT_TRUE(logind->refuseLockSession());
    LogCapture capture;
    EXPECT_TRUE(locker().lock());
    EXPECT_EQ(logind->calls(),
              (std::vector<std::string>{
                  "LockSession \"c17\"",
                  "LockSession raised: org.freedesktop.DBus.Error.AccessDenied: not allowed"}));
    EXPECT_TRUE(fallbackRan());
    EXPECT_TRUE(capture.contains(LogLevel::warning, "SessionLocker::lock - LockSession failed: not allowed"));
}

} // namespace
} // namespace obx::x11::test
