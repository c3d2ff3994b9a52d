#include "platform/linux/wayland/TextKeymaps.h"

#include "platform/linux/x11/TypingPlan.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <xkbcommon/xkbcommon.h>

namespace obx::wayland {

namespace {

// evdev code of the first key; keycode = evdev code + 8, as the compositor
// counts them.
constexpr std::uint32_t firstKey = 1;
constexpr std::uint32_t evdevOffset = 8;

std::string keymapSource(const std::vector<xkb_keysym_t>& keysyms) {
    const std::string name = "\"" + std::string(textKeymapName) + "\"";
    std::string codes;
    std::string symbols;
    for (std::size_t index = 0; index < keysyms.size(); ++index) {
        const auto keycode = std::to_string(firstKey + evdevOffset + index);
        char keysymName[64];
        xkb_keysym_get_name(keysyms[index], keysymName, sizeof keysymName);
        codes += "  <K" + keycode + "> = " + keycode + ";\n";
        symbols += "  key <K" + keycode + "> { [ " + keysymName + " ] };\n";
    }
    const auto maximum = std::to_string(firstKey + evdevOffset + std::max<std::size_t>(keysyms.size(), 1));
    return "xkb_keymap {\n"
           "xkb_keycodes " +
           name + " {\n  minimum = 8;\n  maximum = " + maximum + ";\n" + codes + "};\n" + "xkb_types " +
           name + " { include \"complete\" };\n" + "xkb_compatibility " + name +
           " { include \"complete\" };\n" + "xkb_symbols " + name + " {\n" + symbols + "};\n" + "};\n";
}

} // namespace

xkb_keysym_t keysymFor(char32_t codePoint) {
    if (codePoint == U'\n') {
        return XKB_KEY_Return;
    }
    const auto keysym = static_cast<xkb_keysym_t>(x11::keysymForCodePoint(codePoint));
    return xkb_keysym_to_utf32(keysym) == codePoint ? keysym : XKB_KEY_NoSymbol;
}

TextKeymaps textKeymaps(std::u32string_view text, std::size_t keysPerKeymap) {
    TextKeymaps result;
    std::vector<xkb_keysym_t> keysyms;
    std::unordered_map<xkb_keysym_t, std::uint32_t> keyOf;
    TextStretch stretch;
    const auto close = [&] {
        if (!stretch.keys.empty()) {
            stretch.keymap = keymapSource(keysyms);
            result.stretches.push_back(std::move(stretch));
        }
        stretch = {};
        keysyms.clear();
        keyOf.clear();
    };
    for (const char32_t codePoint : text) {
        const xkb_keysym_t keysym = keysymFor(codePoint);
        if (keysym == XKB_KEY_NoSymbol) {
            result.undeliverable += codePoint;
            continue;
        }
        auto found = keyOf.find(keysym);
        if (found == keyOf.end()) {
            if (keysyms.size() == std::max<std::size_t>(keysPerKeymap, 1)) {
                close();
            }
            keysyms.push_back(keysym);
            found = keyOf.emplace(keysym, firstKey + static_cast<std::uint32_t>(keysyms.size() - 1)).first;
        }
        stretch.keys.push_back(found->second);
    }
    close();
    return result;
}

std::string codePointName(char32_t codePoint) {
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
    return name;
}

} // namespace obx::wayland
