#include "platform/linux/x11/TypingPlan.h"

#include <X11/X.h>
#include <boost/locale/encoding_utf.hpp>

namespace obx::x11 {

std::optional<std::u32string> decodeUtf8(std::string_view text) {
    try {
        return boost::locale::conv::utf_to_utf<char32_t>(text.data(), text.data() + text.size(),
                                                         boost::locale::conv::stop);
    } catch (const boost::locale::conv::conversion_error&) {
        return std::nullopt;
    }
}

KeySymbol keysymForCodePoint(char32_t codePoint) {
    if (codePoint < 0x20) {
        return 0xFF00 | codePoint;
    }
    if (codePoint == 0x7F) {
        return 0xFFFF;
    }
    if (codePoint < 0x7F || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return codePoint;
    }
    return 0x01000000 | codePoint;
}

} // namespace obx::x11
