// Input on wlroots compositors without a compositor: the keymaps made for
// exact text, and keys found on the session's keymap.

#include "platform/linux/wayland/SessionKeys.h"
#include "platform/linux/wayland/TextKeymaps.h"
#include "platform/linux/x11/TypingPlan.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <memory>
#include <set>

namespace obx::wayland {
namespace {

struct XkbDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
template <typename T>
using Xkb = std::unique_ptr<T, XkbDeleter>;

Xkb<xkb_context> context() {
    return Xkb<xkb_context>(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
}

Xkb<xkb_keymap> layout(xkb_context* xkb, const char* name) {
    const xkb_rule_names names{"evdev", "pc105", name, "", ""};
    return Xkb<xkb_keymap>(xkb_keymap_new_from_names(xkb, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
}

// What a client that receives the stretch's keymap and keys reads.
std::string typedText(xkb_context* xkb, const TextStretch& stretch) {
    Xkb<xkb_keymap> keymap(xkb_keymap_new_from_string(xkb, stretch.keymap.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                      XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        ADD_FAILURE() << "the keymap does not compile:\n" << stretch.keymap;
        return {};
    }
    Xkb<xkb_state> state(xkb_state_new(keymap.get()));
    std::string text;
    for (const std::uint32_t key : stretch.keys) {
        char utf8[16];
        xkb_state_key_get_utf8(state.get(), key + 8, utf8, sizeof utf8);
        text += utf8;
    }
    return text;
}

std::u32string codePoints(const std::string& text) {
    return x11::decodeUtf8(text).value();
}

TEST(TextKeymaps, EveryCharacterComesBackExactlyAndRepeatsShareAKey) {
    const std::string snippet = "Grüße, Zoë! café 世界 ☃ 😀\tend";
    const auto xkb = context();
    const auto characters = codePoints(snippet);
    const auto plan = textKeymaps(characters);
    ASSERT_EQ(plan.stretches.size(), 1u);
    EXPECT_TRUE(plan.undeliverable.empty());
    EXPECT_EQ(typedText(xkb.get(), plan.stretches[0]), snippet);
    const auto& keys = plan.stretches[0].keys;
    EXPECT_EQ(std::set<std::uint32_t>(keys.begin(), keys.end()).size(),
              std::set<char32_t>(characters.begin(), characters.end()).size());
    EXPECT_NE(plan.stretches[0].keymap.find("xkb_keycodes \"obx-text\""), std::string::npos);
}

TEST(TextKeymaps, AVarietyBeyondTheKeymapsBoundGoesOnInTheNextStretch) {
    const auto xkb = context();
    struct Case {
        std::string text;
        std::size_t perKeymap;
        std::vector<std::string> stretches;
    };
    const Case cases[] = {
        {"abc", 3, {"abc"}},
        {"abca", 3, {"abca"}},
        {"abcd", 3, {"abc", "d"}},
        {"abcdabc", 3, {"abc", "dab", "c"}},
        {"", 3, {}},
    };
    for (const auto& each : cases) {
        const auto plan = textKeymaps(codePoints(each.text), each.perKeymap);
        ASSERT_EQ(plan.stretches.size(), each.stretches.size()) << each.text;
        for (std::size_t index = 0; index < each.stretches.size(); ++index) {
            EXPECT_EQ(typedText(xkb.get(), plan.stretches[index]), each.stretches[index]) << each.text;
            EXPECT_LE(
                plan.stretches[index].keys.size() > 0
                    ? *std::max_element(plan.stretches[index].keys.begin(), plan.stretches[index].keys.end())
                    : 0u,
                each.perKeymap);
        }
    }
}

TEST(TextKeymaps, LineBreaksAreReturnAndControlCharactersWithoutAKeyAreLeftOut) {
    const auto xkb = context();
    const auto plan = textKeymaps(std::u32string{U'a', U'\n', U'b', 0x01, 0x7f, 0x02, U'c'});
    ASSERT_EQ(plan.stretches.size(), 1u);
    EXPECT_EQ(typedText(xkb.get(), plan.stretches[0]), "a\rb\x7f"
                                                       "c");
    EXPECT_EQ(plan.undeliverable, U"\x01\x02");
    EXPECT_EQ(codePointName(U'\x01'), "U+0001");
    EXPECT_EQ(codePointName(U'😀'), "U+1F600");
}

TEST(SessionKeys, KeysAreFoundWhereTheLayoutPutsThem) {
    const auto xkb = context();
    struct Case {
        const char* layout;
        xkb_keysym_t keysym;
        std::optional<std::uint32_t> key;
    };
    const Case cases[] = {
        {"us", XKB_KEY_a, KEY_A},
        {"fr", XKB_KEY_a, KEY_Q}, // AZERTY: Ctrl+A selects all on the key of Q
        {"fr", XKB_KEY_q, KEY_A},
        {"fr", XKB_KEY_1, KEY_1}, // only with Shift there: the key, no Shift added
        {"de", XKB_KEY_z, KEY_Y},
        {"us", XKB_KEY_Control_L, KEY_LEFTCTRL},
        {"us", XKB_KEY_Return, KEY_ENTER},
        {"us", 0x100263a, std::nullopt}, // U+263A is on no key
    };
    for (const auto& each : cases) {
        const auto keymap = layout(xkb.get(), each.layout);
        ASSERT_TRUE(keymap) << each.layout;
        EXPECT_EQ(SessionKeys(keymap.get()).keyFor(each.keysym), each.key)
            << each.layout << " " << each.keysym;
    }
}

TEST(SessionKeys, HeldModifiersShowInTheStateUntilReleased) {
    const auto xkb = context();
    const auto keymap = layout(xkb.get(), "us");
    SessionKeys keys(keymap.get());
    const auto control = 1u << xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_CTRL);
    const auto shift = 1u << xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_SHIFT);
    EXPECT_EQ(keys.press(KEY_LEFTCTRL, true).depressed, control);
    EXPECT_EQ(keys.press(KEY_LEFTSHIFT, true).depressed, control | shift);
    EXPECT_EQ(keys.press(KEY_A, true).depressed, control | shift);
    EXPECT_EQ(keys.press(KEY_LEFTCTRL, false).depressed, shift);
    EXPECT_EQ(keys.press(KEY_LEFTSHIFT, false), ModifierState{});
}

} // namespace
} // namespace obx::wayland
