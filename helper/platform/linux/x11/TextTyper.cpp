#include "platform/linux/x11/TextTyper.h"

#include "base/Log.h"
#include "platform/linux/x11/KeyboardMap.h"
#include "platform/linux/x11/TypingPlan.h"
#include "platform/linux/x11/XConnection.h"

#include <X11/keysym.h>
#include <cerrno>
#include <thread>

namespace obx::x11 {

namespace {

void lend(Display* display, unsigned code, const std::vector<KeySymbol>& row) {
    std::vector<KeySym> symbols(row.begin(), row.end());
    XChangeKeyboardMapping(display, static_cast<int>(code), static_cast<int>(symbols.size()), symbols.data(),
                           1);
}

} // namespace

void TextTyper::typeText(const std::string& text) const {
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t lineEnd = std::min(text.find('\n', position), text.size());
        if (lineEnd > position) {
            const std::string line = text.substr(position, lineEnd - position);
            log(LogLevel::debug, "Snippet line: ", line);
            typeLine(line);
        }
        position = lineEnd;
        while (position < text.size() && text[position] == '\n') {
            log(LogLevel::debug, "Snippet insert LF");
            pressEnter();
            ++position;
        }
    }
}

void TextTyper::typeLine(const std::string& line) const {
    const auto codePoints = decodeUtf8(line);
    if (!codePoints) {
        log(LogLevel::error, "Error converting snippet line to UTF16, rc: ", EILSEQ);
        return;
    }
    std::vector<KeySymbol> keysyms;
    keysyms.reserve(codePoints->size());
    for (const char32_t codePoint : *codePoints) {
        keysyms.push_back(keysymForCodePoint(codePoint));
    }

    const KeyboardMap map(display_);
    const auto shift = map.find(XK_Shift_L);
    const auto spare = map.spareKeycodes();
    const auto rounds = planTyping(
        keysyms,
        [&](KeySymbol keysym) -> std::optional<KeyPosition> {
            auto position = map.find(keysym);
            // A shifted character needs a Shift key to reach its level.
            if (position && position->shifted && !shift) {
                return std::nullopt;
            }
            return position;
        },
        spare);
    std::size_t typed = 0;
    for (const auto& round : rounds) {
        typed += round.taps.size();
    }
    if (typed < keysyms.size()) {
        log(LogLevel::warning, "TextTyper::typeLine - ", keysyms.size() - typed,
            " characters are missing from the keyboard map and no keycode is free to type them");
    }

    const XTestInput input(display_);
    for (const auto& round : rounds) {
        std::vector<KeyEvent> events;
        for (const auto& tap : round.taps) {
            if (tap.shifted) {
                events.push_back({shift->code, true});
            }
            events.push_back({tap.code, true});
            events.push_back({tap.code, false});
            if (tap.shifted) {
                events.push_back({shift->code, false});
            }
        }
        {
            const ServerGrab grab(display_);
            for (const auto& [code, keysym] : round.lent) {
                // Both levels carry the character, so a held Shift or Caps
                // Lock cannot change it.
                std::vector<KeySymbol> row(static_cast<std::size_t>(map.symbolsPerKeycode()), NoSymbol);
                row[0] = keysym;
                if (row.size() > 1) {
                    row[1] = keysym;
                }
                lend(display_, code, row);
            }
            input.send(events);
        }
        if (!round.lent.empty()) {
            std::this_thread::sleep_for(settle_);
            for (const auto& entry : round.lent) {
                lend(display_, entry.first, map.row(entry.first));
            }
            XSync(display_, False);
        }
    }
}

void TextTyper::pressEnter() const {
    const auto enter = KeyboardMap(display_).find(XK_Return);
    if (!enter) {
        return;
    }
    const ServerGrab grab(display_);
    XTestInput(display_).send({{enter->code, true}, {enter->code, false}});
}

} // namespace obx::x11
