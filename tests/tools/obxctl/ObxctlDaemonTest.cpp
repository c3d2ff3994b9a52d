// obxctl's verbs that speak to obxkernd itself: choosing a pointing device and letting it go.

#include "support/DaemonProcess.h"
#include "support/SpawnedProcess.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace obx::test {
namespace {

struct CtlRun {
    std::optional<int> exit;
    std::string output;
};

std::string readFile(const std::filesystem::path& file) {
    std::ostringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

class ObxctlDaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(folder.path() / "devices.conf") << "fff0:0001 listed\n";
        ASSERT_TRUE(daemon.start({"--devices-conf", (folder.path() / "devices.conf").string(), "--state-dir",
                                  (folder.path() / "state").string()}))
            << daemon.errorOutput();
    }

    CtlRun ctl(std::vector<std::string> args) {
        args.insert(args.begin(), OBXCTL_PATH);
        const auto output = folder.path() / ("obxctl-" + std::to_string(++runs));
        SpawnedProcess process(args, {"OBX_RUNTIME_DIR=" + daemon.runtimeDir().string()}, output);
        return {process.waitExit(std::chrono::seconds(10)), readFile(output)};
    }

    TempFolder folder;
    DaemonProcess daemon{OBXKERND_PATH};
    int runs = 0;
};

TEST_F(ObxctlDaemonTest, TakesAndLetsGoWithTheDaemonsReasonsOnRefusal) {
    CtlRun run = ctl({"devices", "take", "FFF0:2"});
    EXPECT_EQ(run.exit, 0) << run.output;
    EXPECT_EQ(run.output, "obxkernd serves fff0:0002\n");
    EXPECT_NE(readFile(folder.path() / "state" / "chosen-devices").find("fff0:0002\n"), std::string::npos);
    run = ctl({"devices", "release", "fff0:0001"});
    EXPECT_EQ(run.exit, 1);
    EXPECT_NE(run.output.find("obxkernd refused: fff0:0001 cannot be let go: devices.conf lists it"),
              std::string::npos)
        << run.output;
    run = ctl({"devices", "take", "fff0:0003", "SN 1"});
    EXPECT_EQ(run.output, "obxkernd serves fff0:0003 SN 1\n");
    EXPECT_NE(readFile(folder.path() / "state" / "chosen-devices").find("fff0:0003 SN 1\n"),
              std::string::npos);
    EXPECT_EQ(ctl({"devices", "release", "fff0:0003"}).exit, 1) << "that choice names a serial";
    EXPECT_EQ(ctl({"devices", "release", "fff0:0003", "SN 1"}).exit, 0);
    EXPECT_EQ(ctl({"devices", "release", "fff0:0002"}).exit, 0);
    run = ctl({"devices", "release", "fff0:0002"});
    EXPECT_EQ(run.exit, 1);
    EXPECT_NE(run.output.find("fff0:0002 is not chosen"), std::string::npos) << run.output;
    EXPECT_EQ(ctl({"devices", "take", "fff0"}).exit, 64);
    EXPECT_EQ(daemon.stop(SIGTERM), 0);
    run = ctl({"devices", "take", "fff0:0002"});
    EXPECT_EQ(run.exit, 1);
    EXPECT_NE(run.output.find("obxkernd cannot be reached"), std::string::npos) << run.output;
}

} // namespace
} // namespace obx::test
