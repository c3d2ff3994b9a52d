#include "platform/linux/x11/TextTyper.h"

#include "base/Log.h"
#include "platform/linux/x11/TypingBurst.h"
#include "platform/linux/x11/TypingPlan.h"

#include <X11/keysym.h>
#include <cerrno>

namespace obx::x11 {

void TextTyper::typeText(const std::string& text) {
    if (!lender_.valid()) {
        log(LogLevel::error, "TextTyper::typeText - no X display");
        return;
    }
    lender_.use([&](Display* display, LentKeys& keys) {
        TypingBurst burst(display, keys);
        std::size_t position = 0;
        while (position < text.size()) {
            const std::size_t lineEnd = std::min(text.find('\n', position), text.size());
            if (lineEnd > position) {
                const std::string line = text.substr(position, lineEnd - position);
                log(LogLevel::debug, "Snippet line: ", line);
                typeLine(burst, line);
            }
            position = lineEnd;
            while (position < text.size() && text[position] == '\n') {
                log(LogLevel::debug, "Snippet insert LF");
                burst.tap(XK_Return);
                ++position;
            }
        }
        burst.send();
    });
}

void TextTyper::typeLine(TypingBurst& burst, const std::string& line) const {
    const auto codePoints = decodeUtf8(line);
    if (!codePoints) {
        log(LogLevel::error, "Error converting snippet line to UTF16, rc: ", EILSEQ);
        return;
    }
    burst.refreshMap();
    std::size_t missing = 0;
    for (const char32_t codePoint : *codePoints) {
        if (!burst.tap(keysymForCodePoint(codePoint))) {
            ++missing;
        }
    }
    if (missing > 0) {
        log(LogLevel::warning, "TextTyper::typeLine - ", missing,
            " characters are missing from the keyboard map and no keycode is free to type them");
    }
}

} // namespace obx::x11
