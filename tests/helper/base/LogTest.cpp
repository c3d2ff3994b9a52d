#include "base/Log.h"

#include "base/LogCapture.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <sstream>

namespace obx {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("obx-log-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override {
        closeLog();
        fs::remove_all(folder);
    }
    fs::path folder;
};

TEST(LogLevelNames, AreTheSixNamesInOrder) {
    EXPECT_STREQ(logLevelName(0), "trace");
    EXPECT_STREQ(logLevelName(1), "debug");
    EXPECT_STREQ(logLevelName(2), "info");
    EXPECT_STREQ(logLevelName(3), "warning");
    EXPECT_STREQ(logLevelName(4), "error");
    EXPECT_STREQ(logLevelName(5), "fatal");
    EXPECT_STREQ(logLevelName(6), "unknown");
    EXPECT_STREQ(logLevelName(-1), "unknown");
}

TEST(LogCall, ConcatenatesPartsAndFormatsHexInLowerCase) {
    LogCapture capture;
    log(LogLevel::debug, "DOWN: ", Hex{0xAB}, " UP: ", Hex{0}, " n=", 12);
    ASSERT_EQ(capture.records().size(), 1u);
    EXPECT_EQ(capture.records()[0], (LogRecord{LogLevel::debug, "DOWN: ab UP: 0 n=12"}));
}

TEST_F(LogFileTest, WritesTimeStampThreadAndMessagePerLine) {
    openLog({folder, 2, false});
    logText(LogLevel::info, "first line");
    logText(LogLevel::error, "second line");
    const auto text = readFile(folder / "obxhelper_00.log");
    // Boost.Log's default forms: "2026-12-09 05:30:00.123456" and "0x00007f...".
    const std::regex line(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{6}: 0x[0-9a-f]+ first line\n)"
                          R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{6}: 0x[0-9a-f]+ second line\n)");
    EXPECT_TRUE(std::regex_match(text, line)) << text;
}

TEST_F(LogFileTest, LevelFilterDropsRecordsBelowTheLevel) {
    openLog({folder, 3, false});
    logText(LogLevel::info, "not written");
    logText(LogLevel::warning, "warning written");
    logText(LogLevel::fatal, "fatal written");
    EXPECT_FALSE(logEnabled(LogLevel::info));
    const auto text = readFile(folder / "obxhelper_00.log");
    EXPECT_EQ(text.find("not written"), std::string::npos);
    EXPECT_NE(text.find("warning written"), std::string::npos);
    EXPECT_NE(text.find("fatal written"), std::string::npos);
}

TEST_F(LogFileTest, EachRunStartsAtCounterZeroAndAppends) {
    openLog({folder, 0, false});
    logText(LogLevel::info, "run one");
    closeLog();
    openLog({folder, 0, false});
    logText(LogLevel::info, "run two");
    const auto text = readFile(folder / "obxhelper_00.log");
    EXPECT_LT(text.find("run one"), text.find("run two"));
    EXPECT_FALSE(fs::exists(folder / "obxhelper_01.log"));
}

TEST_F(LogFileTest, RotatesToTheNextCounterAtFiveMebibytes) {
    openLog({folder, 0, false});
    const std::string chunk(1000, 'x');
    for (std::uintmax_t written = 0; written < logRotationSize + 4096; written += chunk.size()) {
        logText(LogLevel::info, chunk);
    }
    logText(LogLevel::info, "after rotation");
    ASSERT_TRUE(fs::exists(folder / "obxhelper_01.log"));
    EXPECT_LE(fs::file_size(folder / "obxhelper_00.log"), logRotationSize);
    EXPECT_NE(readFile(folder / "obxhelper_01.log").find("after rotation"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "obxhelper_02.log"));
}

TEST_F(LogFileTest, OpensInAFolderWhoseNameIsNotAscii) {
    // A user named so: the folder under the user's profile carries the name.
    const auto named = folder / fs::path(u8"Zo\u00eb \u65e5\u672c");
    fs::create_directories(named);
    openLog({named, 2, false});
    logText(LogLevel::info, "in the named folder");
    closeLog();
    EXPECT_NE(readFile(named / "obxhelper_00.log").find("in the named folder"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
        << "nothing was written under a mangled name";
}

TEST(LogCaptureTest, SeesEveryLevelWhateverTheFileLevel) {
    LogCapture capture;
    logText(LogLevel::trace, "trace text");
    EXPECT_TRUE(capture.contains(LogLevel::trace, "trace text"));
    EXPECT_FALSE(capture.contains(LogLevel::debug, "trace text"));
    capture.clear();
    EXPECT_TRUE(capture.records().empty());
}

} // namespace
} // namespace obx
