#include "platform/linux/wayland/SessionKeys.h"

#include <algorithm>
#include <stdexcept>

namespace obx::wayland {

namespace {
constexpr std::uint32_t evdevOffset = 8;
}

SessionKeys::SessionKeys(xkb_keymap* keymap)
    : keymap_(xkb_keymap_ref(keymap)), state_(xkb_state_new(keymap)) {
    if (!state_) {
        xkb_keymap_unref(keymap_);
        throw std::runtime_error("cannot make a keyboard state for the session's keymap");
    }
}

SessionKeys::~SessionKeys() {
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
}

std::optional<std::uint32_t> SessionKeys::keyFor(xkb_keysym_t keysym) const {
    std::optional<std::uint32_t> shifted;
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap_);
    for (xkb_keycode_t code = std::max<xkb_keycode_t>(xkb_keymap_min_keycode(keymap_), evdevOffset);
         code <= last; ++code) {
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap_, code, 0);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap_, code, 0, level, &symbols);
            for (int index = 0; index < count; ++index) {
                if (symbols[index] != keysym) {
                    continue;
                }
                if (level == 0) {
                    return code - evdevOffset;
                }
                if (!shifted) {
                    shifted = code - evdevOffset;
                }
            }
        }
    }
    return shifted;
}

ModifierState SessionKeys::press(std::uint32_t key, bool down) {
    xkb_state_update_key(state_, key + evdevOffset, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    return {xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED),
            xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED),
            xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED),
            xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE)};
}

} // namespace obx::wayland
