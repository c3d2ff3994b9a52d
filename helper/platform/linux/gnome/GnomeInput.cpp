#include "platform/linux/gnome/GnomeInput.h"

#include "base/Log.h"
#include "platform/linux/gnome/GnomeText.h"
#include "platform/linux/x11/TypingPlan.h"

#include <algorithm>
#include <thread>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace obx::gnome {

namespace {

// The extension offers texts of up to 65,536 UTF-16 units on the clipboard; a
// UTF-8 text of as many bytes never has more.
constexpr std::size_t textLimit = 65536;
// A commit is one Wayland message of at most 4096 bytes: the extension takes
// up to 500 UTF-16 units. The compositor cuts off a client whose unread
// events fill the kernel's buffer and libwayland's own; a key is an event of
// 24 bytes, a character with Shift eight events: text goes as keys only up to
// 16 characters, a longer one is pasted.
constexpr std::size_t commitLimit = 500;
constexpr std::size_t keyedTextLimit = 16;
// Without a paste, longer text goes as keys in stretches of that many
// characters with a pause between them, time for the client to read.
constexpr auto keyStretchPause = std::chrono::milliseconds(50);

std::size_t utf16Length(std::u32string_view text) {
    return text.size() + static_cast<std::size_t>(
                             std::count_if(text.begin(), text.end(), [](char32_t c) { return c > 0xFFFF; }));
}

std::string layoutName(const XkbLayoutName& name) {
    return name.variant.empty() ? name.layout : name.layout + "+" + name.variant;
}

} // namespace

GnomeInput::GnomeInput(std::chrono::milliseconds timeout) : shell_(timeout) {}

void GnomeInput::keystroke(std::uint16_t modifiers, std::uint16_t virtualKey, bool down, bool modifiersOnly) {
    const auto& keys = layout_.keys();
    for (const std::uint16_t each : x11::keystrokeSequence(modifiers, virtualKey, down, modifiersOnly)) {
        const auto keysym = static_cast<std::uint32_t>(x11::keysymForVirtualKey(each));
        if (keysym == XKB_KEY_NoSymbol || !keys.keyFor(keysym)) {
            log(LogLevel::warning, "GnomeInput::keystroke - no key for virtual key 0x", Hex{each},
                " in the layout ", layoutName(layout_.name()));
            continue;
        }
        shell_.keysym(keysym, down);
    }
}

void GnomeInput::button(std::uint32_t code, bool down) {
    if (!shell_.button(code, down)) {
        log(LogLevel::warning, "GnomeInput::button - GNOME Shell's bridge extension takes no button ", code);
    }
}

void GnomeInput::tap(const std::vector<std::uint32_t>& keysyms) {
    for (const std::uint32_t keysym : keysyms) {
        shell_.keysym(keysym, true);
        shell_.keysym(keysym, false);
    }
}

void GnomeInput::type(const std::string& utf8) {
    if (utf8.size() > textLimit) {
        log(LogLevel::error, "GnomeInput::type - the text is longer than ", textLimit,
            " bytes, nothing typed");
        return;
    }
    const auto codePoints = x11::decodeUtf8(utf8);
    if (!codePoints) {
        log(LogLevel::error, "GnomeInput::type - the text is not valid UTF-8, nothing typed");
        return;
    }
    const auto text = gnomeText(*codePoints);
    if (!text.undeliverable.empty()) {
        log(LogLevel::warning, "GnomeInput::type - no key can type these characters, left out: ",
            codePointNames(text.undeliverable));
    }
    if (text.characters.empty() || (utf16Length(text.characters) <= commitLimit && committed(text.utf8))) {
        return;
    }
    const auto missing = missingFromLayout(text, layout_.keys());
    if (missing.empty() && text.characters.size() <= keyedTextLimit) {
        tap(text.keysyms);
        return;
    }
    if (pasted(text.utf8)) {
        return;
    }
    if (!missing.empty()) {
        log(LogLevel::warning, "GnomeInput::type - the layout ", layoutName(layout_.name()),
            " has no key for these characters and the clipboard cannot take them, left out: ",
            codePointNames(missing));
    }
    std::vector<std::uint32_t> onLayout;
    for (std::size_t index = 0; index < text.characters.size(); ++index) {
        if (missing.find(text.characters[index]) == std::u32string::npos) {
            onLayout.push_back(text.keysyms[index]);
        }
    }
    tapInStretches(onLayout);
}

void GnomeInput::tapInStretches(const std::vector<std::uint32_t>& keysyms) {
    for (std::size_t start = 0; start < keysyms.size(); start += keyedTextLimit) {
        if (start > 0) {
            std::this_thread::sleep_for(keyStretchPause);
        }
        const auto end = std::min(keysyms.size(), start + keyedTextLimit);
        tap({keysyms.begin() + static_cast<std::ptrdiff_t>(start),
             keysyms.begin() + static_cast<std::ptrdiff_t>(end)});
    }
}

bool GnomeInput::committed(const std::string& text) {
    try {
        const bool done = shell_.commitText(text);
        absenceLogged_ = false;
        return done;
    } catch (const std::runtime_error& error) {
        if (!absenceLogged_) {
            log(LogLevel::warning, "GnomeInput::type - ", error.what(),
                ": text goes as keys of the current layout only");
            absenceLogged_ = true;
        }
        return false;
    }
}

bool GnomeInput::pasted(const std::string& text) {
    if (!layout_.keys().keyFor(XKB_KEY_v)) {
        log(LogLevel::warning, "GnomeInput::type - the layout ", layoutName(layout_.name()),
            " has no key for V, so Ctrl+V cannot paste");
        return false;
    }
    try {
        if (!shell_.offerClipboardText(text)) {
            return false;
        }
    } catch (const std::runtime_error&) {
        return false;
    }
    shell_.keysym(XKB_KEY_Control_L, true);
    tap({XKB_KEY_v});
    shell_.keysym(XKB_KEY_Control_L, false);
    return true;
}

} // namespace obx::gnome
