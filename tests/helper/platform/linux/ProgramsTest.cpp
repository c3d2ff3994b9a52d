#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "X11Probe.h"
#include "base/LogCapture.h"
#include "platform/linux/actions/LinuxPlatformServices.h"
#include "platform/linux/actions/Programs.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace obx::x11::test {
namespace {

namespace fs = std::filesystem;

// A folder of fake programs put first on PATH, and a system bus that does
// not exist, so that nothing outside the test is started or locked.
class ProgramsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/obx-programs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        const char* path = std::getenv("PATH");
        oldPath = path ? path : "";
        setenv("PATH", (folder.string() + ":" + oldPath).c_str(), 1);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (folder / "no-bus").string()).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", oldPath.c_str(), 1);
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        fs::remove_all(folder);
    }

    void script(const std::string& name, const std::string& body) {
        const fs::path file = folder / name;
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(file, fs::perms::owner_all);
    }

    std::string waitForFile(const std::string& name) {
        const fs::path file = folder / name;
        // The writer renames its file into place once complete.
        if (!waitFor([&] { return fs::exists(file); })) {
            return "<missing>";
        }
        std::ostringstream text;
        text << std::ifstream(file).rdbuf();
        return text.str();
    }

    static std::string ownSession() { return std::to_string(getsid(0)); }

    fs::path folder;
    std::string oldPath;
};

TEST_F(ProgramsTest, OpenItemPassesThePathUntouchedToADetachedXdgOpen) {
    script("xdg-open",
           "out=\"$(dirname \"$0\")\"\n"
           "{ printf '%s\\n' \"$#\" \"$1\"; cut -d' ' -f6 /proc/$$/stat; pwd; } > \"$out/args.tmp\"\n"
           "mv \"$out/args.tmp\" \"$out/args\"");
    const std::string path = "/tmp/a b; touch \"$HOME/pwned\" $(id) `id` && x|y";
    const char* home = std::getenv("HOME");
    LinuxPlatformServices services(LinuxPlatformServices::Options{"unix:no-such-display", {}, {}});
    services.openItem(path, {"ignored"}, 3);
    std::istringstream lines(waitForFile("args"));
    std::string count, argument, session, workingFolder;
    std::getline(lines, count);
    std::getline(lines, argument);
    std::getline(lines, session);
    std::getline(lines, workingFolder);
    EXPECT_EQ(count, "1");
    EXPECT_EQ(argument, path);
    EXPECT_NE(session, ownSession());
    EXPECT_EQ(workingFolder, fs::canonical(home ? home : "/").string());
}

TEST_F(ProgramsTest, OpenItemWithoutXdgOpenLogs) {
    setenv("PATH", folder.c_str(), 1);
    LogCapture capture;
    LinuxPlatformServices services(LinuxPlatformServices::Options{"unix:no-such-display", {}, {}});
    services.openItem("/tmp/x", {}, 0);
    EXPECT_TRUE(capture.contains(LogLevel::error,
                                 "LinuxPlatformServices::openItem - could not start xdg-open for /tmp/x"));
}

TEST_F(ProgramsTest, StartDetachedReportsAProgramThatCannotRun) {
    const fs::path notRunnable = folder / "broken";
    std::ofstream(notRunnable) << "\x7f"
                               << "ELF-not-really";
    fs::permissions(notRunnable, fs::perms::owner_all);
    EXPECT_FALSE(startDetached({notRunnable.string()}, ""));
    EXPECT_FALSE(startDetached({}, ""));
    EXPECT_FALSE(startDetached({"no-such-program-here"}, ""));
}

TEST_F(ProgramsTest, RunProgramGivesTheExitStatus) {
    script("exits-3", "exit 3");
    EXPECT_EQ(runProgram({"exits-3"}), 3);
    EXPECT_EQ(runProgram({"true"}), 0);
    EXPECT_EQ(runProgram({"no-such-program-here"}), -1);
    EXPECT_EQ(findProgram("exits-3"), (folder / "exits-3").string());
    EXPECT_EQ(findProgram("no-such-program-here"), "");
}

// A descriptor that a library opened without close-on-exec, at a number no
// shell uses for itself, must not reach the programs the helper starts.
TEST_F(ProgramsTest, StartedProgramsGetOnlyTheStandardDescriptors) {
    constexpr int leaked = 57;
    const int file = ::open("/dev/null", O_RDONLY);
    ASSERT_EQ(::dup2(file, leaked), leaked);
    ::close(file);
    script("list-descriptors", "ls /proc/$$/fd > \"$(dirname \"$0\")/$1.tmp\"\n"
                               "mv \"$(dirname \"$0\")/$1.tmp\" \"$(dirname \"$0\")/$1\"");
    ASSERT_TRUE(startDetached({"list-descriptors", "detached"}, ""));
    ASSERT_EQ(runProgram({"list-descriptors", "waited"}), 0);
    ::close(leaked);
    for (const char* name : {"detached", "waited"}) {
        std::istringstream descriptors(waitForFile(name));
        std::vector<std::string> numbers;
        for (std::string number; descriptors >> number;) {
            numbers.push_back(number);
        }
        EXPECT_TRUE(std::find(numbers.begin(), numbers.end(), "0") != numbers.end()) << name;
        EXPECT_TRUE(std::find(numbers.begin(), numbers.end(), std::to_string(leaked)) == numbers.end())
            << name;
    }
}

TEST_F(ProgramsTest, LockFallsBackInOrderWhenLogindIsUnreachable) {
    script("first-locker", "echo first > \"$(dirname \"$0\")/first\"; exit 1");
    script("second-locker", "echo \"$1\" > \"$(dirname \"$0\")/second\"");
    script("third-locker", "echo third > \"$(dirname \"$0\")/third\"");
    LinuxPlatformServices services(LinuxPlatformServices::Options{
        "unix:no-such-display",
        {},
        SessionLocker({{"first-locker"}, {"second-locker", "now"}, {"third-locker"}})});
    LogCapture capture;
    services.runSystemAction("lockWorkstation", {});
    EXPECT_EQ(waitForFile("first"), "first\n");
    EXPECT_EQ(waitForFile("second"), "now\n");
    EXPECT_FALSE(fs::exists(folder / "third"));
    EXPECT_FALSE(capture.contains(LogLevel::error, "SessionLocker::lock - the session could not be locked"));
}

TEST_F(ProgramsTest, LockThatNoWayManagesIsLogged) {
    script("failing-locker", "exit 2");
    const SessionLocker locker({{"failing-locker"}, {"no-such-locker"}});
    LogCapture capture;
    EXPECT_FALSE(locker.lock());
    EXPECT_TRUE(capture.contains(LogLevel::error, "SessionLocker::lock - the session could not be locked"));
}

} // namespace
} // namespace obx::x11::test
