#include "service/PopupTexts.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

struct LanguageCase {
    std::optional<std::string> name;
    int id;
};

class LanguageTest : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(LanguageTest, FirstCodeFoundAnywhereInTheNameChoosesTheMessage) {
    EXPECT_EQ(messageIdForLanguage(GetParam().name), GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(Names, LanguageTest,
                         ::testing::Values(LanguageCase{"de-DE", 202}, LanguageCase{"pt-BR", 207},
                                           // No code occurs in it.
                                           LanguageCase{"sr-Latn-RS", 201},
                                           // "en" occurs inside "valencia".
                                           LanguageCase{"ca-ES-valencia", 201},
                                           // "en" comes first in the table's order, wherever it stands.
                                           LanguageCase{"de-en", 201}, LanguageCase{"zh-CN", 226},
                                           LanguageCase{"zh-TW", 228}, LanguageCase{"zh-HK", 201},
                                           LanguageCase{"ar-SA", 225}, LanguageCase{"lt-LT", 214},
                                           LanguageCase{"ko", 229},
                                           // Case-sensitive.
                                           LanguageCase{"FR-FR", 201}, LanguageCase{"", 201},
                                           LanguageCase{std::nullopt, 201}));

class TableStrings : public StringSource {
public:
    std::optional<std::u16string> load(int id) override {
        if (id == missing) {
            return std::nullopt;
        }
        return builtIn.load(id);
    }
    BuiltInStrings builtIn;
    int missing = 0;
};

TEST(PopupTextsTest, MessagesLongerThanTheBufferAreCutAfterTheir99thCharacter) {
    TableStrings strings;
    const auto german = *strings.load(202);
    ASSERT_GT(german.size(), 99u);
    const auto texts = choosePopupTexts(strings, "de-DE");
    EXPECT_EQ(texts.title, u"Halvex");
    EXPECT_EQ(texts.message, german.substr(0, 99));
    EXPECT_EQ(utf16ToUtf8(texts.message), "Laden Sie bitte das Quellane-Dienstprogramm von unserer Website "
                                          "herunter, um das Beste aus unseren ");
    // The English one is short enough to stay whole.
    EXPECT_EQ(utf16ToUtf8(choosePopupTexts(strings, "en-GB").message),
              "Please download Quellane utility from our website to enjoy the best of our input devices.");
}

TEST(PopupTextsTest, TheCutKeepsACharacterOfTwoUnitsWholeOrDropsIt) {
    EXPECT_EQ(cutToStringBuffer(std::u16string(99, u'a')), std::u16string(99, u'a'));
    EXPECT_EQ(cutToStringBuffer(std::u16string(100, u'a')), std::u16string(99, u'a'));
    const std::u16string emoji = u"\U0001F600";
    EXPECT_EQ(cutToStringBuffer(std::u16string(98, u'a') + emoji), std::u16string(98, u'a'));
    EXPECT_EQ(cutToStringBuffer(std::u16string(97, u'a') + emoji + u"b"), std::u16string(97, u'a') + emoji);
}

TEST(PopupTextsTest, AMissingMessageFallsBackToTheDefaultOne) {
    TableStrings strings;
    strings.missing = 220;
    EXPECT_EQ(utf16ToUtf8(choosePopupTexts(strings, "ru-RU").message),
              "Please download Quellane utility from our website to enjoy the best of our input devices.");
    strings.missing = 0;
    EXPECT_EQ(utf16ToUtf8(choosePopupTexts(strings, "ru-RU").message),
              "Для работы с лучшим из наших устройств ввода загрузите утилиту Quellane с нашего сайта.");
}

TEST(PopupTextsTest, Utf8AndUtf16ConvertBothWaysAndBadBytesBecomeReplacements) {
    const std::string mixed = "a\u00e9\u4e2d\U0001F600";
    EXPECT_EQ(utf8ToUtf16(mixed), u"a\u00e9\u4e2d\U0001F600");
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(mixed)), mixed);
    // A lone continuation byte, an overlong form, a cut-off sequence and an encoded surrogate.
    EXPECT_EQ(utf8ToUtf16("\x80x\xC0\x80y\xE4\xB8"), u"\uFFFDx\uFFFD\uFFFDy\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
}

} // namespace
} // namespace obx
