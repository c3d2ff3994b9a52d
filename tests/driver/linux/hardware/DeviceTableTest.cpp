#include "hardware/DeviceTable.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

namespace obx::kernd {
namespace {

std::string errorOf(std::string_view text) {
    try {
        DeviceTable::parse(text, "devices.conf");
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(DeviceTable, ParsesPairsLabelsCommentsAndBlankLines) {
    const DeviceTable table = DeviceTable::parse("# models\n"
                                                 "\n"
                                                 "  1234:abCD   Desk trackball # the big one\r\n"
                                                 "\t0:1\n"
                                                 "ffff:FFFF",
                                                 "devices.conf");
    ASSERT_EQ(table.models().size(), 3u);
    EXPECT_EQ(table.models()[0].label, "Desk trackball # the big one");
    EXPECT_TRUE(table.matches(0x1234, 0xABCD));
    EXPECT_TRUE(table.matches(0x0000, 0x0001));
    EXPECT_TRUE(table.matches(0xFFFF, 0xFFFF));
    EXPECT_FALSE(table.matches(0xABCD, 0x1234));
    EXPECT_TRUE(DeviceTable::parse("", "x").models().empty());
}

TEST(DeviceTable, MalformedLinesNameTheLineAndWhatIsWrong) {
    const std::string expected = "expected VENDOR:PRODUCT in hexadecimal (up to four digits each), not ";
    EXPECT_EQ(errorOf("1234:abcd\n\n12345:0001\n"), "devices.conf:3: " + expected + "\"12345:0001\"");
    for (const char* bad : {"1234", "1234:", ":abcd", "12g4:0001", "0x12:0001", "1234-abcd", "+1:2", "1:2:3"})
        EXPECT_EQ(errorOf(bad), "devices.conf:1: " + expected + "\"" + bad + "\"") << bad;
    // What the file holds is shown on one readable line, cut when long.
    EXPECT_EQ(errorOf("\x01\x7f:1"), "devices.conf:1: " + expected + "\"??:1\"");
    EXPECT_EQ(errorOf(std::string(60, 'a')),
              "devices.conf:1: " + expected + "\"" + std::string(40, 'a') + "...\"");

    std::string many;
    for (size_t i = 0; i <= DeviceTable::kMaxModels; ++i)
        many += "1:1\n";
    EXPECT_EQ(errorOf(many), "devices.conf:257: more than 256 models");
}

TEST(DeviceTable, FilesMissingAreEmptyAndOversizedOnesAreRefused) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("obx-devtable-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(DeviceTable::load(folder / "absent.conf").models().empty());
    const auto big = folder / "big.conf";
    std::ofstream(big) << std::string(DeviceTable::kMaxFileBytes + 1, '#');
    EXPECT_THROW(DeviceTable::load(big), std::runtime_error);
    const auto good = folder / "good.conf";
    std::ofstream(good) << "# one\n00aa:00bb label\n";
    EXPECT_TRUE(DeviceTable::load(good).matches(0xAA, 0xBB));
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace obx::kernd
