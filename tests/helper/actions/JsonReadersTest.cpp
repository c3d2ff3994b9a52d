#include "actions/JsonReaders.h"

#include "actions/Modifiers.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

using nlohmann::json;

TEST(ModifiersToString, NamesTheSetBitsInFixedOrder) {
    EXPECT_EQ(modifiersToString(0), "");
    EXPECT_EQ(modifiersToString(0x01), "shift");
    EXPECT_EQ(modifiersToString(0x55), "alt,ctrl,shift,win");
    EXPECT_EQ(modifiersToString(0x44), "ctrl,win");
}

TEST(ModifiersToString, IgnoresBitsWithoutName) {
    EXPECT_EQ(modifiersToString(0x02), "");
    EXPECT_EQ(modifiersToString(0xFFFFFF00 | 0x02 | 0x10), "alt");
}

TEST(ModifiersFromString, IsTolerantOfCaseBlanksAndUnknownPieces) {
    EXPECT_EQ(modifiersFromString(""), 0u);
    EXPECT_EQ(modifiersFromString("CTRL, Shift"), 0x05u);
    EXPECT_EQ(modifiersFromString("  alt\t,win "), 0x50u);
    EXPECT_EQ(modifiersFromString("ctrl,meta,,control"), 0x04u);
    EXPECT_EQ(modifiersFromString(",,,"), 0u);
    EXPECT_EQ(modifiersFromString("ctrlshift"), 0u);
    EXPECT_EQ(modifiersFromString("   "), 0u);
}

TEST(ModifiersFromString, ReadsWhatToStringWrites) {
    for (std::uint32_t mask : {0x00u, 0x01u, 0x04u, 0x10u, 0x40u, 0x15u, 0x55u}) {
        EXPECT_EQ(modifiersFromString(modifiersToString(mask)), mask) << mask;
    }
}

TEST(ReadRequiredInt, TakesNumbersBooleansAndNumericTexts) {
    const json object = {{"int", 65},     {"float", 7.9}, {"negativeFloat", -2.5},
                         {"true", true},  {"text", "65"}, {"padded", "  42x"},
                         {"word", "abc"}, {"empty", ""},  {"negative", -1}};
    EXPECT_EQ(readRequiredInt(object, "int"), 65u);
    EXPECT_EQ(readRequiredInt(object, "float"), 7u);
    EXPECT_EQ(readRequiredInt(object, "negativeFloat"), static_cast<std::uint32_t>(-2));
    EXPECT_EQ(readRequiredInt(object, "true"), 1u);
    EXPECT_EQ(readRequiredInt(object, "text"), 65u);
    EXPECT_EQ(readRequiredInt(object, "padded"), 42u);
    EXPECT_EQ(readRequiredInt(object, "word"), 0u);
    EXPECT_EQ(readRequiredInt(object, "empty"), 0u);
    EXPECT_EQ(readRequiredInt(object, "negative"), 0xFFFFFFFFu);
}

TEST(ClampedInt, NumbersOutsideTheTypeAreClampedToIt) {
    EXPECT_EQ(clampedInt<std::int32_t>(json(1e10)), INT32_MAX);
    EXPECT_EQ(clampedInt<std::int32_t>(json(-1e10)), INT32_MIN);
    EXPECT_EQ(clampedInt<std::int32_t>(json(-7.9)), -7);
    EXPECT_EQ(clampedInt<std::int32_t>(json(5000000000)), INT32_MAX);
    EXPECT_EQ(clampedInt<std::int32_t>(json(std::numeric_limits<double>::quiet_NaN())), 0);
    EXPECT_EQ(clampedInt<std::int64_t>(json(1e300)), INT64_MAX);
    EXPECT_EQ(clampedInt<std::int64_t>(json(UINT64_MAX)), INT64_MAX);
    EXPECT_EQ(clampedInt<std::uint16_t>(json(70000)), 0xFFFF);
    EXPECT_EQ(clampedInt<std::uint16_t>(json(-1)), 0);
    EXPECT_EQ(clampedInt<std::uint32_t>(json(-0.5)), 0u);
    EXPECT_EQ(clampedInt<std::uint32_t>(json(true)), 1u);
    EXPECT_THROW(clampedInt<std::uint32_t>(json("1")), json::type_error);
    EXPECT_EQ(readRequiredInt(json{{"x", 1e10}}, "x"), 0x7FFFFFFFu);
    EXPECT_EQ(readInt(json{{"x", -1e10}}, "x", 0), INT32_MIN);
}

TEST(ReadRequiredInt, FailsWithTheLibraryErrors) {
    const json object = {{"null", nullptr}, {"array", json::array({1})}, {"object", json::object()}};
    EXPECT_THROW(readRequiredInt(object, "missing"), json::out_of_range);
    try {
        readRequiredInt(object, "null");
        FAIL() << "no error";
    } catch (const json::type_error& error) {
        EXPECT_STREQ(error.what(), "[json.exception.type_error.302] type must be number, but is null");
    }
    EXPECT_THROW(readRequiredInt(object, "array"), json::type_error);
    EXPECT_THROW(readRequiredInt(object, "object"), json::type_error);
}

TEST(ReadInt, FallsBackOnlyWhenTheKeyIsAbsent) {
    const json object = {{"zero", 0}, {"text", "-12"}, {"big", "99999999999"}, {"flag", false}};
    EXPECT_EQ(readInt(object, "missing", -1), -1);
    EXPECT_EQ(readInt(object, "zero", -1), 0);
    EXPECT_EQ(readInt(object, "text", 0), -12);
    EXPECT_EQ(readInt(object, "big", 0), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(readInt(object, "flag", 5), 0);
    EXPECT_EQ(readInt(json(3), "any", 9), 9);
    EXPECT_EQ(readInt(json(nullptr), "any", 9), 9);
    EXPECT_THROW(readInt(json{{"x", json::array()}}, "x", 0), json::type_error);
}

TEST(ReadString, RequiresAStringWhenPresent) {
    EXPECT_EQ(readString(json{{"a", "text"}}, "a", "fallback"), "text");
    EXPECT_EQ(readString(json{{"a", ""}}, "a", "fallback"), "");
    EXPECT_EQ(readString(json::object(), "a", "fallback"), "fallback");
    try {
        readString(json{{"a", 5}}, "a", "");
        FAIL() << "no error";
    } catch (const json::type_error& error) {
        EXPECT_STREQ(error.what(), "[json.exception.type_error.302] type must be string, but is number");
    }
}

TEST(ReadBool, TextsAreFalseOnlyWhenTheySayFalseOrZero) {
    for (const char* text : {"false", "FALSE", "False", "0"}) {
        EXPECT_FALSE(readBool(json{{"b", text}}, "b", true)) << text;
    }
    for (const char* text : {"", "true", "no", "00", " false", "1"}) {
        EXPECT_TRUE(readBool(json{{"b", text}}, "b", false)) << '"' << text << '"';
    }
}

TEST(ReadBool, TakesBooleansAndRejectsOtherTypes) {
    EXPECT_TRUE(readBool(json{{"b", true}}, "b", false));
    EXPECT_FALSE(readBool(json{{"b", false}}, "b", true));
    EXPECT_TRUE(readBool(json::object(), "b", true));
    EXPECT_FALSE(readBool(json::object(), "b", false));
    try {
        readBool(json{{"b", 1}}, "b", false);
        FAIL() << "no error";
    } catch (const json::type_error& error) {
        EXPECT_STREQ(error.what(), "[json.exception.type_error.302] type must be boolean, but is number");
    }
}

} // namespace
} // namespace obx
