#include "service/PopupTexts.h"

#include <array>
#include <cstdint>

namespace obx {

namespace {

struct TableString {
    int id;
    std::string_view languageCode;
    std::string_view text;
};

#define OBX_STRING(id, text) TableString{id, {}, text},
#define OBX_MESSAGE(id, code, text) TableString{id, code, text},
constexpr std::array table{
#include "service/PopupStrings.inc"
};
#undef OBX_STRING
#undef OBX_MESSAGE

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

} // namespace

std::u16string cutToStringBuffer(std::u16string_view text) {
    auto length = std::min(text.size(), stringBufferLength - 1);
    if (length < text.size() && length > 0 && isHighSurrogate(text[length - 1])) {
        --length;
    }
    return std::u16string(text.substr(0, length));
}

int messageIdForLanguage(const std::optional<std::string>& languageName) {
    if (languageName) {
        for (const auto& entry : table) {
            if (!entry.languageCode.empty() && languageName->find(entry.languageCode) != std::string::npos) {
                return entry.id;
            }
        }
    }
    return popupString::englishMessage;
}

std::optional<std::u16string> BuiltInStrings::load(int id) {
    for (const auto& entry : table) {
        if (entry.id == id) {
            return utf8ToUtf16(entry.text);
        }
    }
    return std::nullopt;
}

PopupTexts choosePopupTexts(StringSource& strings, const std::optional<std::string>& languageName) {
    auto message = strings.load(messageIdForLanguage(languageName));
    if (!message) {
        message = strings.load(popupString::fallbackMessage);
    }
    return {cutToStringBuffer(strings.load(popupString::balloonTitle).value_or(u"")),
            cutToStringBuffer(message.value_or(u""))};
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80    ? 1
                                   : lead >= 0xF0 ? 4
                                   : lead >= 0xE0 ? 3
                                   : lead >= 0xC0 ? 2
                                                  : 0;
        std::uint32_t code = length == 1   ? lead
                             : length == 2 ? lead & 0x1F
                             : length == 3 ? lead & 0x0F
                                           : lead & 0x07;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= shortest[length];
        if (!valid || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            result.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            result.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            result.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            result.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return result;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string result;
    result.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t code = text[i];
        if (isHighSurrogate(text[i]) && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            result.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            result.push_back(static_cast<char>(0xC0 | (code >> 6)));
            result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            result.push_back(static_cast<char>(0xE0 | (code >> 12)));
            result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            result.push_back(static_cast<char>(0xF0 | (code >> 18)));
            result.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return result;
}

} // namespace obx
