#include "platform/linux/x11/TypingPlan.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <map>

namespace obx::x11 {
namespace {

TEST(DecodeUtf8, ScriptsAndPlanes) {
    EXPECT_EQ(decodeUtf8("aé€😀"), std::u32string(U"aé€😀"));
    EXPECT_EQ(decodeUtf8(""), std::u32string());
    EXPECT_EQ(decodeUtf8("\xF4\x8F\xBF\xBF"), std::u32string(U"\U0010FFFF"));
}

TEST(DecodeUtf8, RejectsWhatIsNoUtf8) {
    EXPECT_FALSE(decodeUtf8("\xC3"));             // cut short
    EXPECT_FALSE(decodeUtf8("\xC0\xAF"));         // overlong
    EXPECT_FALSE(decodeUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(decodeUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(decodeUtf8("a\x80"));            // stray continuation
    EXPECT_FALSE(decodeUtf8("\xE2\x82z"));        // broken continuation
}

TEST(KeysymForCodePoint, Ranges) {
    EXPECT_EQ(keysymForCodePoint(U'A'), static_cast<KeySymbol>(XK_A));
    EXPECT_EQ(keysymForCodePoint(U'~'), static_cast<KeySymbol>(XK_asciitilde));
    EXPECT_EQ(keysymForCodePoint(U'\u00A0'), static_cast<KeySymbol>(XK_nobreakspace));
    EXPECT_EQ(keysymForCodePoint(U'ÿ'), static_cast<KeySymbol>(XK_ydiaeresis));
    EXPECT_EQ(keysymForCodePoint(U'\t'), static_cast<KeySymbol>(XK_Tab));
    EXPECT_EQ(keysymForCodePoint(U'\r'), static_cast<KeySymbol>(XK_Return));
    EXPECT_EQ(keysymForCodePoint(0x7F), static_cast<KeySymbol>(XK_Delete));
    EXPECT_EQ(keysymForCodePoint(0x80), 0x01000080ul);
    EXPECT_EQ(keysymForCodePoint(U'€'), 0x010020ACul);
    EXPECT_EQ(keysymForCodePoint(U'😀'), 0x0101F600ul);
}

class PlanTyping : public ::testing::Test {
protected:
    std::map<KeySymbol, KeyPosition> keymap{{XK_a, {38, false}}, {XK_A, {38, true}}};
    KeyLookup lookup = [this](KeySymbol keysym) -> std::optional<KeyPosition> {
        const auto found = keymap.find(keysym);
        return found == keymap.end() ? std::nullopt : std::optional(found->second);
    };
};

TEST_F(PlanTyping, PresentCharactersUseTheirKeysWithoutLending) {
    const auto rounds = planTyping({XK_a, XK_A}, lookup, {200, 201});
    ASSERT_EQ(rounds.size(), 1u);
    EXPECT_TRUE(rounds[0].lent.empty());
    ASSERT_EQ(rounds[0].taps.size(), 2u);
    EXPECT_EQ(rounds[0].taps[0].code, 38u);
    EXPECT_FALSE(rounds[0].taps[0].shifted);
    EXPECT_TRUE(rounds[0].taps[1].shifted);
}

TEST_F(PlanTyping, MissingCharactersShareOneLentKeyPerKeysym) {
    const auto rounds = planTyping({0x0101F600, XK_a, 0x0101F600, 0x010020AC}, lookup, {200, 201});
    ASSERT_EQ(rounds.size(), 1u);
    const std::vector<std::pair<unsigned, KeySymbol>> lent{{200, 0x0101F600}, {201, 0x010020AC}};
    EXPECT_EQ(rounds[0].lent, lent);
    std::vector<unsigned> codes;
    for (const auto& tap : rounds[0].taps) {
        codes.push_back(tap.code);
    }
    EXPECT_EQ(codes, (std::vector<unsigned>{200, 38, 200, 201}));
}

TEST_F(PlanTyping, ANewRoundStartsWhenEverySpareKeyIsLent) {
    const auto rounds = planTyping({0x01000101, 0x01000102, 0x01000101, 0x01000103}, lookup, {200, 201});
    ASSERT_EQ(rounds.size(), 2u);
    EXPECT_EQ(rounds[0].taps.size(), 3u);
    const std::vector<std::pair<unsigned, KeySymbol>> second{{200, 0x01000103}};
    EXPECT_EQ(rounds[1].lent, second);
    ASSERT_EQ(rounds[1].taps.size(), 1u);
    EXPECT_EQ(rounds[1].taps[0].code, 200u);
}

TEST_F(PlanTyping, WithoutSpareKeysMissingCharactersAreLeftOut) {
    const auto rounds = planTyping({0x01000101, XK_a}, lookup, {});
    ASSERT_EQ(rounds.size(), 1u);
    ASSERT_EQ(rounds[0].taps.size(), 1u);
    EXPECT_EQ(rounds[0].taps[0].code, 38u);
    EXPECT_TRUE(planTyping({0x01000101}, lookup, {}).empty());
    EXPECT_TRUE(planTyping({}, lookup, {200}).empty());
}

} // namespace
} // namespace obx::x11
