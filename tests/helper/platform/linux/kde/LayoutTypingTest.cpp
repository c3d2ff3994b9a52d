// Text as keys of the session's layout (KWin's fake input takes keys only):
// what each layout types exactly and what it lacks, without a compositor.

#include "platform/linux/kde/LayoutTyping.h"

#include "platform/linux/x11/TypingPlan.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <memory>

namespace obx::kde {
namespace {

struct XkbDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
template <typename T>
using Xkb = std::unique_ptr<T, XkbDeleter>;

std::u32string codePoints(const std::string& text) {
    return x11::decodeUtf8(text).value();
}

// What a program reads from the keys, pressed in order on one keyboard
// state (so a modifier left held would show); Return reads as a line break.
std::string typedText(xkb_keymap* keymap, const std::vector<LayoutKey>& keys) {
    Xkb<xkb_state> state(xkb_state_new(keymap));
    std::string text;
    for (const auto& each : keys) {
        for (const auto modifier : each.modifierKeys) {
            xkb_state_update_key(state.get(), modifier + 8, XKB_KEY_DOWN);
        }
        if (xkb_state_key_get_one_sym(state.get(), each.key + 8) == XKB_KEY_Return) {
            text += "\n";
        } else {
            char utf8[16];
            xkb_state_key_get_utf8(state.get(), each.key + 8, utf8, sizeof utf8);
            text += utf8;
        }
        for (const auto modifier : each.modifierKeys) {
            xkb_state_update_key(state.get(), modifier + 8, XKB_KEY_UP);
        }
    }
    return text;
}

struct Case {
    const char* name;
    const char* layout;
    const char* text;
    const char* missing; // in order, each once
};

void PrintTo(const Case& each, std::ostream* out) {
    *out << each.name;
}

class LayoutTypingTest : public ::testing::TestWithParam<Case> {};

TEST_P(LayoutTypingTest, TypesWhatTheLayoutHasExactlyAndNamesTheRest) {
    const Xkb<xkb_context> xkb(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const xkb_rule_names names{"evdev", "pc105", GetParam().layout, "", ""};
    const Xkb<xkb_keymap> keymap(xkb_keymap_new_from_names(xkb.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    ASSERT_TRUE(keymap);
    const auto typing = layoutTyping(keymap.get(), codePoints(GetParam().text));
    EXPECT_EQ(typing.missing, codePoints(GetParam().missing));
    std::u32string expected;
    for (const char32_t character : codePoints(GetParam().text)) {
        if (codePoints(GetParam().missing).find(character) == std::u32string::npos) {
            expected += character;
        }
    }
    EXPECT_EQ(codePoints(typedText(keymap.get(), typing.keys)), expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutTypingTest,
                         ::testing::Values(
                             // Shifted symbols, a line break and a tab.
                             Case{"UsSymbolsAndLineBreaks", "us", "Hello, World! (1+1=2)\n\t~", ""},
                             // Level one accents, AltGr symbols, shifted digits on AZERTY.
                             Case{"FrenchAccentsAndAltGr", "fr", "àé|€ Azerty@ 1234", ""},
                             // Umlauts and ß on their keys, @ and € with AltGr.
                             Case{"GermanUmlauts", "de", "Grüße ß @ € ä", ""},
                             Case{"UsLacksAccentsCjkAndEmoji", "us", "Grüße, Zoë! café 世界 ☃ 😀",
                                  "üßëé世界☃😀"},
                             Case{"GermanLacksSome", "de", "Grüße, Zoë! café 世界 ☃ 😀", "ëé世界☃😀"},
                             Case{"Nothing", "us", "", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LayoutTyping, ModifierKeysAreTheLayoutsShiftAndAltGr) {
    const Xkb<xkb_context> xkb(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const xkb_rule_names names{"evdev", "pc105", "fr", "", ""};
    const Xkb<xkb_keymap> keymap(xkb_keymap_new_from_names(xkb.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    const auto typing = layoutTyping(keymap.get(), U"aA1€");
    const std::vector<LayoutKey> expected{{KEY_Q, {}}, {KEY_Q, {KEY_LEFTSHIFT}}, {KEY_1, {KEY_LEFTSHIFT}}};
    ASSERT_EQ(typing.keys.size(), 4u);
    EXPECT_EQ(std::vector<LayoutKey>(typing.keys.begin(), typing.keys.begin() + 3), expected);
    // The Euro sign on E with AltGr, not on a key above what X programs see.
    EXPECT_EQ(typing.keys[3].key, static_cast<std::uint32_t>(KEY_E));
    ASSERT_EQ(typing.keys[3].modifierKeys.size(), 1u);
    const Xkb<xkb_state> state(xkb_state_new(keymap.get()));
    EXPECT_EQ(xkb_state_key_get_one_sym(state.get(), typing.keys[3].modifierKeys[0] + 8),
              XKB_KEY_ISO_Level3_Shift);
}

} // namespace
} // namespace obx::kde
