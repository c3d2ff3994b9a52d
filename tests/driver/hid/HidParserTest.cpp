#include "driver/hid/HidDescriptorParser.h"
#include "driver/hid/HidItemReader.h"
#include "driver/hid/ReportDescriptorParser.h"
#include "driver/hid/UsageListDifference.h"
#include "hid/TestDescriptors.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>

namespace obx::hid {
namespace {

using test::Bytes;

class ParsedDescriptor : public ::testing::Test {
protected:
    void parse(const Bytes& descriptor) {
        ASSERT_EQ(HidDescriptorParser::parse(descriptor, data_), HidStatus::Success);
    }

    std::vector<uint16_t> usages(const Bytes& report, HidStatus expected = HidStatus::Success) {
        std::array<uint16_t, 16> list{};
        uint32_t count = 0;
        EXPECT_EQ(data_.getUsages(kPageButton, report, list, count), expected);
        std::vector<uint16_t> result(list.begin(), list.begin() + std::min<size_t>(count, list.size()));
        std::sort(result.begin(), result.end());
        return result;
    }

    int32_t value(uint16_t page, uint16_t usage, const Bytes& report) {
        int32_t v = 12345;
        EXPECT_EQ(data_.getScaledUsageValue(page, usage, report, v), HidStatus::Success);
        return v;
    }

    HidStatus valueStatus(uint16_t page, uint16_t usage, const Bytes& report) {
        int32_t v = 0;
        return data_.getScaledUsageValue(page, usage, report, v);
    }

    HidPreparsedData data_;
};

TEST_F(ParsedDescriptor, FiveButtonTrackballCapsAndValues) {
    parse(test::kFiveButtonTrackball);
    EXPECT_EQ(data_.caps().usagePage, kPageGenericDesktop);
    EXPECT_EQ(data_.caps().usage, 0x02);
    EXPECT_EQ(data_.caps().inputReportByteLength, 6);
    EXPECT_EQ(data_.caps().outputReportByteLength, 0);
    EXPECT_FALSE(data_.usesReportIds());
    EXPECT_EQ(data_.maxUsageListLength(kPageButton), 5u);

    const Bytes report = {0x00, 0x15, 0x05, 0xFB, 0x81, 0x7F};
    EXPECT_EQ(usages(report), (std::vector<uint16_t>{1, 3, 5}));
    EXPECT_EQ(value(kPageGenericDesktop, kUsageX, report), 5);
    EXPECT_EQ(value(kPageGenericDesktop, kUsageY, report), -5);
    EXPECT_EQ(value(kPageGenericDesktop, kUsageWheel, report), -127);
    EXPECT_EQ(value(kPageConsumer, kUsageAcPan, report), 127);
}

TEST_F(ParsedDescriptor, PaddingBitsAreNotButtons) {
    parse(test::kFiveButtonTrackball);
    EXPECT_TRUE(usages({0x00, 0xE0, 0, 0, 0, 0}).empty());
}

TEST_F(ParsedDescriptor, ReportLengthAndIdAreChecked) {
    parse(test::kFiveButtonTrackball);
    usages({0x00, 0x01, 0, 0, 0}, HidStatus::InvalidReportLength);
    usages({}, HidStatus::InvalidReportLength);
    usages({0x01, 0x01, 0, 0, 0, 0}, HidStatus::IncompatibleReportId);
    int32_t v = 0;
    EXPECT_EQ(data_.getScaledUsageValue(kPageGenericDesktop, kUsageX, Bytes{0x00, 0x01}, v),
              HidStatus::InvalidReportLength);
}

TEST_F(ParsedDescriptor, MissingUsageIsNotFound) {
    parse(test::kFiveButtonTrackball);
    EXPECT_EQ(valueStatus(kPageGenericDesktop, 0x32, {0, 0, 0, 0, 0, 0}), HidStatus::UsageNotFound);
    std::array<uint16_t, 4> list{};
    uint32_t count = 0;
    EXPECT_EQ(data_.getUsages(0x07, Bytes{0, 0, 0, 0, 0, 0}, list, count), HidStatus::UsageNotFound);
}

TEST_F(ParsedDescriptor, ReportIdsSelectTheFields) {
    parse(test::kReportIdMouse);
    EXPECT_TRUE(data_.usesReportIds());
    EXPECT_EQ(data_.caps().inputReportByteLength, 8);
    EXPECT_EQ(data_.maxUsageListLength(kPageButton), 8u);

    const Bytes mouse = {0x01, 0x82, 0x10, 0x27, 0xF0, 0xD8, 0xFE, 0xFF};
    EXPECT_EQ(usages(mouse), (std::vector<uint16_t>{2, 8}));
    EXPECT_EQ(value(kPageGenericDesktop, kUsageX, mouse), 10000);
    EXPECT_EQ(value(kPageGenericDesktop, kUsageY, mouse), -10000);
    EXPECT_EQ(value(kPageGenericDesktop, kUsageWheel, mouse), -2);
    EXPECT_EQ(value(kPageConsumer, kUsageAcPan, mouse), -1);

    // The shorter consumer report carries no buttons or axes: the usages live in another report.
    const Bytes consumer = {0x02, 0xE9, 0x00};
    usages(consumer, HidStatus::IncompatibleReportId);
    EXPECT_EQ(valueStatus(kPageGenericDesktop, kUsageX, consumer), HidStatus::IncompatibleReportId);
    std::array<uint16_t, 4> list{};
    uint32_t count = 0;
    ASSERT_EQ(data_.getUsages(kPageConsumer, consumer, list, count), HidStatus::Success);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(list[0], 0xE9);
    // An id the descriptor does not know has no fields of its own.
    usages({0x07, 0, 0, 0, 0, 0, 0, 0}, HidStatus::IncompatibleReportId);
}

TEST_F(ParsedDescriptor, ArrayButtonsAndPhysicalRange) {
    parse(test::kArrayButtonsPhysical);
    EXPECT_EQ(data_.caps().inputReportByteLength, 6);
    EXPECT_EQ(data_.maxUsageListLength(kPageButton), 2u);
    EXPECT_EQ(usages({0x00, 0x03, 0x00, 0, 0, 0}), (std::vector<uint16_t>{3}));
    EXPECT_EQ(usages({0x00, 0x08, 0x01, 0, 0, 0}), (std::vector<uint16_t>{1, 8}));
    EXPECT_TRUE(usages({0x00, 0x09, 0xFF, 0, 0, 0}).empty()); // out of the logical range: no usage
    EXPECT_EQ(value(kPageGenericDesktop, kUsageX, {0x00, 0, 0, 0x0A, 0x81, 0}), 100);
    EXPECT_EQ(value(kPageGenericDesktop, kUsageY, {0x00, 0, 0, 0x0A, 0x81, 0}), -1270);
}

TEST_F(ParsedDescriptor, ValueOutsideLogicalRangeFails) {
    parse(test::kArrayButtonsPhysical);
    EXPECT_EQ(value(kPageGenericDesktop, kUsageWheel, {0x00, 0, 0, 0, 0, 10}), 10);
    EXPECT_EQ(valueStatus(kPageGenericDesktop, kUsageWheel, {0x00, 0, 0, 0, 0, 11}), HidStatus::Null);
    parse(test::kFiveButtonTrackball);
    EXPECT_EQ(valueStatus(kPageGenericDesktop, kUsageX, {0x00, 0, 0x80, 0, 0, 0}),
              HidStatus::ValueOutOfRange);
}

TEST_F(ParsedDescriptor, ClampedValuesKeepTheNullState) {
    parse(test::kArrayButtonsPhysical);
    int32_t v = 0;
    EXPECT_EQ(data_.getClampedScaledUsageValue(kPageGenericDesktop, kUsageWheel, Bytes{0, 0, 0, 0, 0, 11}, v),
              HidStatus::Null);
    EXPECT_EQ(data_.getClampedScaledUsageValue(kPageGenericDesktop, kUsageX, Bytes{0, 0, 0, 0x80, 0, 0}, v),
              HidStatus::Success);
    EXPECT_EQ(v, -1270);
}

TEST_F(ParsedDescriptor, TooShortUsageListReportsTheNeededLength) {
    parse(test::kFiveButtonTrackball);
    std::array<uint16_t, 2> list{};
    uint32_t count = 0;
    EXPECT_EQ(data_.getUsages(kPageButton, Bytes{0x00, 0x1F, 0, 0, 0, 0}, list, count),
              HidStatus::BufferTooSmall);
    EXPECT_EQ(count, 5u);
}

TEST_F(ParsedDescriptor, BadLogicalRangeIsRefusedForScaling) {
    // X with logical minimum above maximum.
    parse({0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x30, 0x15, 0x05, 0x25, 0x01, 0x75, 0x08, 0x95, 0x01,
           0x81, 0x06, 0xC0});
    EXPECT_EQ(valueStatus(kPageGenericDesktop, kUsageX, {0x00, 0x03}), HidStatus::BadLogPhyValues);
}

TEST_F(ParsedDescriptor, LastUsageRepeatsOverTheRemainingElements) {
    // Usage (Button 1), Report Count (3): all three bits report button 1.
    parse({0x05, 0x09, 0xA1, 0x01, 0x09, 0x01, 0x15, 0x00, 0x25, 0x01, 0x75,
           0x01, 0x95, 0x03, 0x81, 0x02, 0x95, 0x05, 0x81, 0x01, 0xC0});
    EXPECT_EQ(usages({0x00, 0x04}), (std::vector<uint16_t>{1}));
}

TEST(ExcessElementsTest, TheKernelsReadingDropsButtonBitsPastTheDeclaredUsages) {
    // The mouse collection of a real mouse (24ae:2015): Usage Maximum 3 over Report Count 5, its side
    // buttons in bits 3 and 4; report 1 with 16-bit X and Y and a wheel.
    const Bytes descriptor = {
        0x05, 0x01, 0x09, 0x02, 0xa1, 0x01, 0x85, 0x01, 0x09, 0x01, 0xa1, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29,
        0x03, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x05, 0x81, 0x02, 0x75, 0x03, 0x95, 0x01, 0x81, 0x01,
        0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x16, 0x01, 0x80, 0x26, 0xff, 0x7f, 0x75, 0x10, 0x95, 0x02, 0x81,
        0x06, 0x09, 0x38, 0x15, 0x81, 0x25, 0x7f, 0x75, 0x08, 0x95, 0x01, 0x81, 0x06, 0xc0, 0xc0};
    auto buttons = [&](ExcessElements excess, uint8_t bits) {
        ReportDescriptorParser parser(excess);
        std::ranges::copy(descriptor, parser.descriptorStorage(uint32_t(descriptor.size())).begin());
        HidCaps caps{};
        std::array<uint16_t, 8> list{};
        uint32_t count = 0;
        EXPECT_EQ(parser.load(caps), HidStatus::Success);
        EXPECT_EQ(parser.getUsages(kPageButton, Bytes{0x01, bits, 0, 0, 0, 0, 0}, list, count),
                  HidStatus::Success);
        return std::vector<uint16_t>(list.begin(), list.begin() + count);
    };
    EXPECT_EQ(buttons(ExcessElements::RepeatLastUsage, 0x08), std::vector<uint16_t>{3});
    EXPECT_EQ(buttons(ExcessElements::Ignored, 0x18), std::vector<uint16_t>{});
    EXPECT_EQ(buttons(ExcessElements::Ignored, 0x1D), (std::vector<uint16_t>{1, 3}));
}

TEST_F(ParsedDescriptor, ThirtyTwoBitFieldAtOddOffset) {
    // One button bit, then a 32-bit signed X straddling five bytes.
    parse({0x05, 0x01, 0xA1, 0x01, 0x05, 0x09, 0x09, 0x01, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01,
           0x95, 0x01, 0x81, 0x02, 0x05, 0x01, 0x09, 0x30, 0x17, 0x00, 0x00, 0x00, 0x80, 0x27,
           0xFF, 0xFF, 0xFF, 0x7F, 0x75, 0x20, 0x81, 0x06, 0x75, 0x07, 0x81, 0x01, 0xC0});
    EXPECT_EQ(data_.caps().inputReportByteLength, 6);
    // X = -2 shifted left by one bit, button 1 on.
    EXPECT_EQ(value(kPageGenericDesktop, kUsageX, {0x00, 0xFD, 0xFF, 0xFF, 0xFF, 0x01}), -2);
    EXPECT_EQ(usages({0x00, 0xFD, 0xFF, 0xFF, 0xFF, 0x01}), (std::vector<uint16_t>{1}));
}

struct MalformedCase {
    const char* name;
    Bytes descriptor;
};

// Names the case in test output instead of dumping the object's bytes.
void PrintTo(const MalformedCase& malformed, std::ostream* out) {
    *out << malformed.name;
}

class MalformedDescriptor : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedDescriptor, IsRejectedAndLeavesNothingBehind) {
    HidPreparsedData data;
    ASSERT_EQ(HidDescriptorParser::parse(test::kFiveButtonTrackball, data), HidStatus::Success);
    EXPECT_EQ(HidDescriptorParser::parse(GetParam().descriptor, data), HidStatus::InvalidDescriptor);
    EXPECT_EQ(data.caps().inputReportByteLength, 0);
    EXPECT_EQ(data.maxUsageListLength(kPageButton), 0u);
}

Bytes deepCollections(int depth) {
    Bytes d;
    for (int i = 0; i < depth; ++i)
        d.insert(d.end(), {0xA1, 0x00});
    d.insert(d.end(), {0x05, 0x09, 0x09, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02});
    for (int i = 0; i < depth; ++i)
        d.push_back(0xC0);
    return d;
}

Bytes manyFields(int n) {
    Bytes d = {0x05, 0x09, 0x75, 0x01, 0x95, 0x01, 0x25, 0x01};
    for (int i = 0; i < n; ++i)
        d.insert(d.end(), {0x09, 0x01, 0x81, 0x02});
    return d;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, MalformedDescriptor,
    ::testing::Values(
        MalformedCase{"Empty", {}},
        MalformedCase{"NoInputReport", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xC0}},
        MalformedCase{"TruncatedItemData", {0x05, 0x01, 0x09, 0x02, 0x16, 0x01}},
        MalformedCase{"TruncatedLongItem", {0xFE, 0x10, 0x00, 0x01, 0x02}},
        MalformedCase{"UsageRangeReversed",
                      {0x05, 0x09, 0x19, 0x05, 0x29, 0x01, 0x75, 0x01, 0x95, 0x05, 0x81, 0x02}},
        MalformedCase{"UsageRangeOneEnd", {0x05, 0x09, 0x19, 0x01, 0x75, 0x01, 0x95, 0x05, 0x81, 0x02}},
        MalformedCase{
            "UsageRangeAcrossPages",
            {0x1B, 0x01, 0x00, 0x09, 0x00, 0x2B, 0x05, 0x00, 0x0A, 0x00, 0x75, 0x01, 0x95, 0x05, 0x81, 0x02}},
        MalformedCase{"PopWithoutPush", {0xB4, 0x05, 0x09, 0x09, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
        MalformedCase{"EndWithoutCollection",
                      {0xC0, 0x05, 0x09, 0x09, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
        MalformedCase{"UnclosedCollection",
                      {0xA1, 0x01, 0x05, 0x09, 0x09, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
        MalformedCase{"ReportIdZero",
                      {0x85, 0x00, 0x05, 0x09, 0x09, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
        MalformedCase{"ReportIdAbove255",
                      {0x86, 0x00, 0x01, 0x05, 0x09, 0x09, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
        MalformedCase{
            "NumberedAfterUnnumbered",
            {0x05, 0x09, 0x09, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x85, 0x01, 0x09, 0x02, 0x81, 0x02}},
        MalformedCase{"DataFieldWiderThan32Bits",
                      {0x05, 0x01, 0x09, 0x30, 0x75, 0x40, 0x95, 0x01, 0x81, 0x06}},
        MalformedCase{"ReportLongerThanServed",
                      {0x05, 0x09, 0x09, 0x01, 0x75, 0x20, 0x97, 0xFF, 0xFF, 0xFF, 0x7F, 0x81, 0x02}},
        MalformedCase{
            "CountTimesSizeOverflows",
            {0x05, 0x09, 0x09, 0x01, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x01}},
        MalformedCase{"CollectionsTooDeep", deepCollections(40)},
        MalformedCase{"TooManyFields", manyFields(HidPreparsedData::kMaxInputFields + 1)},
        MalformedCase{"UnknownMainTag", {0xF0}}),
    [](const ::testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.name); });

TEST(HidItemReaderTest, SignedDataFollowsTheItemWidth) {
    const Bytes bytes = {0x15, 0x81, 0x16, 0x01, 0x80, 0x17, 0x00, 0x00, 0x00, 0x80, 0x26, 0xFF, 0x00};
    HidItemReader reader(bytes);
    HidItem item;
    const int32_t expected[] = {-127, -32767, INT32_MIN, 255};
    for (int32_t e : expected) {
        ASSERT_EQ(reader.next(item), HidItemReader::Result::Item);
        EXPECT_EQ(item.signedData(), e);
    }
    EXPECT_EQ(reader.next(item), HidItemReader::Result::End);
}

TEST(HidItemReaderTest, LongItemsAreSkipped) {
    const Bytes bytes = {0xFE, 0x02, 0x10, 0xAA, 0xBB, 0x05, 0x09};
    HidItemReader reader(bytes);
    HidItem item;
    ASSERT_EQ(reader.next(item), HidItemReader::Result::Item);
    EXPECT_EQ(item.type, ItemType::Global);
    EXPECT_EQ(item.data, 0x09u);
}

TEST(UsageListDifferenceTest, MakeAndBreakLists) {
    const std::array<uint16_t, 4> previous = {1, 3, 5, 0};
    const std::array<uint16_t, 4> current = {3, 4, 0, 9}; // 9 follows the end marker and is not a usage
    std::array<uint16_t, 4> brk{7, 7, 7, 7};
    std::array<uint16_t, 4> make{7, 7, 7, 7};
    ASSERT_TRUE(usageListDifference(previous, current, brk, make, 4));
    EXPECT_EQ(brk, (std::array<uint16_t, 4>{1, 5, 0, 0}));
    EXPECT_EQ(make, (std::array<uint16_t, 4>{4, 0, 0, 0}));
}

TEST(UsageListDifferenceTest, ListsShorterThanTheLengthAreRefused) {
    const std::array<uint16_t, 2> shortList = {1, 2};
    std::array<uint16_t, 4> four{};
    std::array<uint16_t, 4> brk{};
    std::array<uint16_t, 4> make{};
    EXPECT_FALSE(usageListDifference(shortList, four, brk, make, 4));
    EXPECT_FALSE(usageListDifference(four, four, std::span<uint16_t>(brk).first(3), make, 4));
}

} // namespace
} // namespace obx::hid
