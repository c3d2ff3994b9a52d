#include "platform/linux/x11/TypingPlan.h"

#include "platform/linux/x11/LentKeys.h"

#include <X11/keysym.h>
#include <algorithm>
#include <gtest/gtest.h>

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

using Clock = LentKeys::Clock;
using std::chrono::milliseconds;

const auto always = [](unsigned, KeySymbol) { return true; };

TEST(LentKeys, AKeycodeIsGivenAnotherCharacterOnlyWhenItsEventsMayNoLongerBeUnread) {
    LentKeys keys(milliseconds(2000));
    keys.refresh({200, 201}, always);
    const Clock::time_point start{std::chrono::hours(1)};
    const auto first = keys.lease(0x0101F600, start);
    const auto second = keys.lease(0x010020AC, start);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->remap && second->remap);
    EXPECT_NE(first->code, second->code);
    // The same character stays on its keycode, without remapping.
    const auto again = keys.lease(0x0101F600, start);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->code, first->code);
    EXPECT_FALSE(again->remap);
    // Not yet delivered: held however late it is.
    EXPECT_FALSE(keys.lease(0x01000101, start + std::chrono::hours(1)));

    keys.delivered(start + milliseconds(10));
    keys.lease(0x010020AC, start + milliseconds(500));
    keys.delivered(start + milliseconds(510));
    EXPECT_EQ(keys.reusableAt(), start + milliseconds(2010));
    EXPECT_FALSE(keys.lease(0x01000101, start + milliseconds(2009)));
    // The least recently used one goes first.
    const auto third = keys.lease(0x01000101, start + milliseconds(2010));
    ASSERT_TRUE(third);
    EXPECT_EQ(third->code, first->code);
    EXPECT_TRUE(third->remap);
    EXPECT_TRUE(keys.lends(first->code));
    EXPECT_FALSE(keys.lends(199));
}

TEST(LentKeys, AnAnswerFreesWhatReachedTheAnsweringClientBeforeTheAskingOnly) {
    LentKeys keys(milliseconds(2000));
    keys.refresh({200, 201}, always);
    const Clock::time_point start{std::chrono::hours(1)};
    const auto first = keys.lease(0x01000101, start);
    keys.delivered(start + milliseconds(1));
    const auto second = keys.lease(0x01000102, start + milliseconds(2));
    keys.delivered(start + milliseconds(3));
    // The client received the burst from +2 on; what came before may have
    // gone to another one.
    keys.read(start + milliseconds(2), start + milliseconds(3));
    const auto third = keys.lease(0x01000103, start + milliseconds(4));
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(third->code, second->code);
    // The one just leased is in use until delivered, answer or not.
    keys.read(start + milliseconds(2), start + milliseconds(5));
    EXPECT_FALSE(keys.lease(0x01000104, start + milliseconds(5)));
    keys.delivered(start + milliseconds(6));
    EXPECT_FALSE(keys.lease(0x01000104, start + milliseconds(7)));
    keys.read(start + milliseconds(2), start + milliseconds(7));
    const auto fourth = keys.lease(0x01000104, start + milliseconds(8));
    ASSERT_TRUE(fourth);
    EXPECT_EQ(fourth->code, second->code);
}

TEST(LentKeys, GivingBackForgetsWhatSomeoneElseChanged) {
    LentKeys keys(milliseconds(2000));
    EXPECT_FALSE(keys.canLend());
    EXPECT_FALSE(keys.lease(0x01000101, Clock::now()));
    keys.refresh({200, 201, 202}, always);
    const Clock::time_point start{std::chrono::hours(1)};
    for (KeySymbol keysym = 0x01000101; keysym < 0x01000104; ++keysym) {
        keys.lease(keysym, start);
    }
    keys.delivered(start + milliseconds(5));
    EXPECT_EQ(keys.restoreAt(), start + milliseconds(2005));
    // Another client put its own keysym on the keycode that carried U+0102.
    keys.refresh({}, [](unsigned, KeySymbol keysym) { return keysym != 0x01000102; });
    auto returned = keys.giveBack();
    std::sort(returned.begin(), returned.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });
    ASSERT_EQ(returned.size(), 2u);
    EXPECT_EQ(returned[0].second, 0x01000101u);
    EXPECT_EQ(returned[1].second, 0x01000103u);
    EXPECT_TRUE(keys.empty());
    EXPECT_TRUE(keys.canLend());
}

} // namespace
} // namespace obx::x11
