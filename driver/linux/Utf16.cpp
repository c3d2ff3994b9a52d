#include "Utf16.h"

#include <cstdint>

namespace obx::kernd {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The length of the sequence that `lead` starts and the payload bits of the lead byte; 0 for a byte
// that cannot start one.
int sequenceLength(uint8_t lead, uint32_t& bits) {
    if (lead < 0x80) {
        bits = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        bits = lead & 0x1F;
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        bits = lead & 0x0F;
        return 3;
    }
    if ((lead & 0xF8) == 0xF0) {
        bits = lead & 0x07;
        return 4;
    }
    return 0;
}

bool valid(uint32_t code, int length) {
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    return code >= kSmallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

} // namespace

std::u16string utf16FromUtf8(std::string_view text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        uint32_t code = 0;
        const int length = sequenceLength(static_cast<uint8_t>(text[i]), code);
        int taken = 1;
        while (length > 1 && taken < length && i + taken < text.size() &&
               (static_cast<uint8_t>(text[i + taken]) & 0xC0) == 0x80) {
            code = (code << 6) | (static_cast<uint8_t>(text[i + taken]) & 0x3F);
            ++taken;
        }
        i += static_cast<size_t>(taken);
        if (length == 0 || taken != length || !valid(code, length)) {
            out.push_back(kReplacement);
        } else if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

} // namespace obx::kernd
