#pragma once

// Text as keys of the session's own layout, for a desktop whose injection
// takes keys only (KWin's fake input): which key types each character and
// which modifier keys (Shift, AltGr) its level needs. Pure logic on a keymap.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace obx::kde {

// A key (evdev code) pressed while the modifier keys are held.
struct LayoutKey {
    std::uint32_t key = 0;
    std::vector<std::uint32_t> modifierKeys;
    bool operator==(const LayoutKey&) const = default;
};

struct LayoutTyping {
    // One entry per character the layout gives, in the text's order.
    std::vector<LayoutKey> keys;
    // The characters no key of the first layout gives, in order, repeats
    // once.
    std::u32string missing;
};

// A line break is Return, a tab Tab; every other character must come from a
// key's level on the keymap's first layout, reached without a modifier or
// with Shift, AltGr (ISO_Level3_Shift) or both.
LayoutTyping layoutTyping(xkb_keymap* keymap, std::u32string_view text);

} // namespace obx::kde
