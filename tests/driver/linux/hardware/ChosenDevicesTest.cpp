#include "hardware/ChosenDevices.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

namespace obx::kernd {
namespace {

class ChosenDevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/obx-chosen-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST_F(ChosenDevicesTest, ChoicesOutliveTheDaemon) {
    {
        ChosenDevices chosen(dir_ / "state");
        chosen.take(0x1234, 0x00ab, "");
        chosen.take(0xfff0, 0x0002, "");
        chosen.take(0x00aa, 0x00bb, "SN 7");
        chosen.release(0x1234, 0x00ab, "");
        EXPECT_THROW(chosen.release(0x1234, 0x00ab, ""), std::runtime_error);
        EXPECT_THROW(chosen.release(0x00aa, 0x00bb, ""), std::runtime_error) << "that choice names a serial";
    }
    const ChosenDevices again(dir_ / "state");
    EXPECT_FALSE(again.contains(0x1234, 0x00ab, ""));
    EXPECT_TRUE(again.contains(0xfff0, 0x0002, "any")) << "a choice of the ids alone covers every serial";
    EXPECT_TRUE(again.contains(0x00aa, 0x00bb, "SN 7"));
    EXPECT_FALSE(again.contains(0x00aa, 0x00bb, "SN 8"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "state" / "chosen-devices.new"));
}

TEST_F(ChosenDevicesTest, AtMostSixtyFourAndAFailedWriteChangesNothing) {
    ChosenDevices chosen(dir_);
    for (uint16_t product = 0; product < ChosenDevices::kMaxChoices; ++product)
        chosen.take(0x0001, product, "");
    EXPECT_THROW(chosen.take(0x0002, 0x0001, ""), std::runtime_error);
    EXPECT_FALSE(chosen.contains(0x0002, 0x0001, ""));
    // The new file cannot be made (a folder stands in its place, whoever runs the test).
    std::filesystem::create_directory(dir_ / "chosen-devices.new");
    EXPECT_THROW(chosen.release(0x0001, 0x0000, ""), std::runtime_error);
    EXPECT_TRUE(chosen.contains(0x0001, 0x0000, ""));
    EXPECT_TRUE(ChosenDevices(dir_).contains(0x0001, 0x0000, ""));
}

} // namespace
} // namespace obx::kernd
