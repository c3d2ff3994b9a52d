#include "platform/linux/kde/LayoutTyping.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

namespace obx::kde {

namespace {

constexpr xkb_keycode_t evdevOffset = 8;
// Modifier masks of one level that the keymap may list; more is unusual.
constexpr std::size_t maxMasks = 8;
// Programs of the X protocol through Xwayland see keycodes up to 255 only;
// a keymap also lists keys above (a Euro key...) that they would miss.
constexpr xkb_keycode_t lastX11Keycode = 255;

struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
using StatePointer = std::unique_ptr<xkb_state, StateDeleter>;

xkb_keysym_t keysymFor(char32_t character) {
    if (character == U'\n') {
        return XKB_KEY_Return;
    }
    if (character == U'\t') {
        return XKB_KEY_Tab;
    }
    return xkb_utf32_to_keysym(static_cast<std::uint32_t>(character));
}

class Layout {
public:
    explicit Layout(xkb_keymap* keymap) : keymap_(keymap) {
        // The keys that reach the higher levels, each with the modifiers it
        // sets: Shift, then AltGr.
        for (const xkb_keysym_t modifier : {XKB_KEY_Shift_L, XKB_KEY_ISO_Level3_Shift}) {
            if (const auto key = levelOneKey(modifier)) {
                StatePointer state(xkb_state_new(keymap_));
                if (state) {
                    xkb_state_update_key(state.get(), *key + evdevOffset, XKB_KEY_DOWN);
                    modifiers_.push_back(
                        {*key, xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED)});
                }
            }
        }
    }

    std::optional<LayoutKey> find(char32_t character) const {
        const xkb_keysym_t keysym = keysymFor(character);
        if (keysym == XKB_KEY_NoSymbol) {
            return std::nullopt;
        }
        std::optional<LayoutKey> best;
        forEachLevel([&](xkb_keycode_t code, xkb_level_index_t level) {
            if (best && best->modifierKeys.empty()) {
                return;
            }
            const xkb_keysym_t* symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap_, code, 0, level, &symbols);
            if (count != 1 || symbols[0] != keysym) {
                return;
            }
            xkb_mod_mask_t masks[maxMasks];
            const std::size_t found =
                xkb_keymap_key_get_mods_for_level(keymap_, code, 0, level, masks, maxMasks);
            for (std::size_t index = 0; index < found; ++index) {
                auto candidate = reach(code, masks[index], keysym);
                if (candidate && (!best || candidate->modifierKeys.size() < best->modifierKeys.size())) {
                    best = std::move(candidate);
                }
            }
        });
        return best;
    }

private:
    template <typename Visit>
    void forEachLevel(Visit&& visit) const {
        const xkb_keycode_t last = std::min(xkb_keymap_max_keycode(keymap_), lastX11Keycode);
        for (xkb_keycode_t code = std::max<xkb_keycode_t>(xkb_keymap_min_keycode(keymap_), evdevOffset);
             code <= last; ++code) {
            const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap_, code, 0);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                visit(code, level);
            }
        }
    }

    std::optional<std::uint32_t> levelOneKey(xkb_keysym_t keysym) const {
        std::optional<std::uint32_t> key;
        forEachLevel([&](xkb_keycode_t code, xkb_level_index_t level) {
            const xkb_keysym_t* symbols = nullptr;
            if (!key && level == 0 && xkb_keymap_key_get_syms_by_level(keymap_, code, 0, 0, &symbols) == 1 &&
                symbols[0] == keysym) {
                key = code - evdevOffset;
            }
        });
        return key;
    }

    // The modifier keys whose masks make up the level's mask, checked on a
    // fresh keyboard state: with them held the key gives the keysym.
    std::optional<LayoutKey> reach(xkb_keycode_t code, xkb_mod_mask_t mask, xkb_keysym_t keysym) const {
        const std::size_t subsets = std::size_t{1} << modifiers_.size();
        for (std::size_t subset = 0; subset < subsets; ++subset) {
            LayoutKey candidate{code - evdevOffset, {}};
            xkb_mod_mask_t covered = 0;
            for (std::size_t index = 0; index < modifiers_.size(); ++index) {
                if (subset & (std::size_t{1} << index)) {
                    candidate.modifierKeys.push_back(modifiers_[index].first);
                    covered |= modifiers_[index].second;
                }
            }
            if (covered != mask) {
                continue;
            }
            StatePointer state(xkb_state_new(keymap_));
            if (!state) {
                return std::nullopt;
            }
            for (const std::uint32_t modifier : candidate.modifierKeys) {
                xkb_state_update_key(state.get(), modifier + evdevOffset, XKB_KEY_DOWN);
            }
            if (xkb_state_key_get_one_sym(state.get(), code) == keysym) {
                return candidate;
            }
        }
        return std::nullopt;
    }

    xkb_keymap* keymap_;
    std::vector<std::pair<std::uint32_t, xkb_mod_mask_t>> modifiers_;
};

} // namespace

LayoutTyping layoutTyping(xkb_keymap* keymap, std::u32string_view text) {
    const Layout layout(keymap);
    std::map<char32_t, std::optional<LayoutKey>> known;
    LayoutTyping typing;
    for (const char32_t character : text) {
        auto found = known.find(character);
        if (found == known.end()) {
            found = known.emplace(character, layout.find(character)).first;
            if (!found->second) {
                typing.missing.push_back(character);
            }
        }
        if (found->second) {
            typing.keys.push_back(*found->second);
        }
    }
    return typing;
}

} // namespace obx::kde
