#include "settings/Utf16Text.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

using namespace std::string_literals;

TEST(Utf16TextTest, ByteOrderMarkDecidesAndIsDropped) {
    EXPECT_EQ(decodeUtf16Bytes("\xFF\xFE<\0a\0"s), u"<a");
    EXPECT_EQ(decodeUtf16Bytes("\xFE\xFF\0<\0a"s), u"<a");
    EXPECT_EQ(decodeUtf16Bytes("\xFE\xFF\x4E\x2D"s), u"\u4E2D");
}

TEST(Utf16TextTest, WithoutMarkTheZeroBytesTellTheOrder) {
    EXPECT_EQ(decodeUtf16Bytes("<\0a\0>\0"s), u"<a>");
    EXPECT_EQ(decodeUtf16Bytes("\0<\0a\0>"s), u"<a>");
    EXPECT_EQ(decodeUtf16Bytes("\x4E\x2D"s), u"\u4E2D") << "no hint: big-endian";
    EXPECT_EQ(decodeUtf16Bytes("\0<\0a\x01"s), u"<a") << "a trailing odd byte is ignored";
    EXPECT_EQ(decodeUtf16Bytes(""), u"");
}

TEST(Utf16TextTest, Utf8ConversionsKeepSurrogatePairsAndDropBrokenUnits) {
    EXPECT_EQ(utf16ToUtf8(u"Gr\u00FC\u00DF \U0001F600"), "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80");
    EXPECT_EQ(utf8ToUtf16("Gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80"), u"Gr\u00FC\u00DF \U0001F600");
    EXPECT_EQ(utf16ToUtf8(std::u16string{u'a', char16_t(0xDC00), u'b'}), "ab");
    EXPECT_EQ(utf16ToUtf8(std::u16string{u'a', char16_t(0xD800)}), "a");
}

} // namespace
} // namespace obx
