#include "platform/linux/gnome/GnomeText.h"

#include "platform/linux/wayland/TextKeymaps.h"

namespace obx::gnome {

namespace {

void appendUtf8(std::string& text, char32_t codePoint) {
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
        return;
    }
    const int continuations = codePoint < 0x800 ? 1 : codePoint < 0x10000 ? 2 : 3;
    static constexpr unsigned char leads[] = {0, 0xC0, 0xE0, 0xF0};
    text += static_cast<char>(leads[continuations] | (codePoint >> (6 * continuations)));
    for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6) {
        text += static_cast<char>(0x80 | ((codePoint >> shift) & 0x3F));
    }
}

} // namespace

GnomeText gnomeText(std::u32string_view codePoints) {
    GnomeText text;
    for (const char32_t codePoint : codePoints) {
        const auto keysym = wayland::keysymFor(codePoint);
        if (keysym == 0) {
            text.undeliverable += codePoint;
            continue;
        }
        text.characters += codePoint;
        appendUtf8(text.utf8, codePoint);
        text.keysyms.push_back(keysym);
    }
    return text;
}

std::u32string missingFromLayout(const GnomeText& text, const wayland::SessionKeys& layout) {
    std::u32string missing;
    for (std::size_t index = 0; index < text.characters.size(); ++index) {
        const char32_t character = text.characters[index];
        if (!layout.keyFor(text.keysyms[index]) && missing.find(character) == std::u32string::npos) {
            missing += character;
        }
    }
    return missing;
}

std::string codePointNames(std::u32string_view codePoints) {
    std::string names;
    for (const char32_t codePoint : codePoints) {
        names += (names.empty() ? "" : " ") + wayland::codePointName(codePoint);
    }
    return names;
}

} // namespace obx::gnome
