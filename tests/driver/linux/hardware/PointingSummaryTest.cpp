#include "hardware/PointingSummary.h"

#include "PointingDeviceEndpoint.h"
#include "hid/TestDescriptors.h"

#include <gtest/gtest.h>

namespace obx::kernd {
namespace {

using test::Bytes;

struct SummaryCase {
    const char* name;
    Bytes descriptor;
    const char* described; // empty: not a pointing device
};

class PointingSummaryTest : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(PointingSummaryTest, TellsWhatTheDescriptorDeclares) {
    const SummaryCase& c = GetParam();
    const PointingSummary summary = PointingSummary::of(c.descriptor);
    EXPECT_EQ(summary.pointing ? summary.describe() : std::string(), c.described);
}

// A consumer control alone, and a mouse collection whose buttons come with no X and Y.
const Bytes kConsumerOnly = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x09, 0xE9, 0x15, 0x00, 0x25, 0x01,
                             0x75, 0x01, 0x95, 0x01, 0x81, 0x02, 0x95, 0x07, 0x81, 0x01, 0xC0};
const Bytes kButtonsOnlyMouse = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03,
                                 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0xC0};

INSTANTIATE_TEST_SUITE_P(
    Descriptors, PointingSummaryTest,
    ::testing::Values(
        SummaryCase{"FiveButtons", test::kFiveButtonTrackball, "5 buttons, wheel, pan"},
        SummaryCase{"ReportIdsBesideAConsumerControl", test::kReportIdMouse, "8 buttons, wheel, pan"},
        SummaryCase{"ArrayButtons", test::kArrayButtonsPhysical, "8 buttons, wheel"},
        SummaryCase{"HighestButtonOfTwoCollections", test::kTwoButtonReports, "3 buttons"},
        SummaryCase{"ConsumerControl", kConsumerOnly, ""}, SummaryCase{"Refused", {0xA1, 0x01}, ""},
        SummaryCase{"NoXAndY", kButtonsOnlyMouse, "3 buttons; not servable: it has no X and Y"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PointingDeviceList, OneLineADeviceWithItsNameMadeSafe) {
    const UnservedDevice ball{"/sys/a",
                              0x0003,
                              0x1234,
                              0x00ab,
                              "SN\t1",
                              "Ball\tOne\nTwo",
                              PointingSummary::of(test::kFiveButtonTrackball)};
    const UnservedDevice keys{
        "/sys/b", 0x0005, 0xfff0, 0x0002, "", "Keys", PointingSummary::of(kButtonsOnlyMouse)};
    const std::vector<uint8_t> message = PointingDeviceEndpoint::encode({ball, keys});
    EXPECT_EQ(std::string(message.begin(), message.end()),
              "pointing-devices 2\n"
              "1234:00ab\t0003\t5\t1\t1\t\tSN 1\tBall One Two\n"
              "fff0:0002\t0005\t3\t0\t0\tit has no X and Y\t\tKeys\n");
}

} // namespace
} // namespace obx::kernd
