#include "settings/Utf16Text.h"

#include <boost/locale/encoding_utf.hpp>

namespace obx {

namespace {

enum class ByteOrder { big, little };

ByteOrder guessByteOrder(std::string_view bytes) {
    std::size_t zeroFirst = 0;
    std::size_t zeroSecond = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        zeroFirst += bytes[i] == '\0';
        zeroSecond += bytes[i + 1] == '\0';
    }
    return zeroSecond > zeroFirst ? ByteOrder::little : ByteOrder::big;
}

} // namespace

std::string utf16ToUtf8(std::u16string_view text) {
    return boost::locale::conv::utf_to_utf<char>(text.data(), text.data() + text.size());
}

std::u16string utf8ToUtf16(std::string_view text) {
    return boost::locale::conv::utf_to_utf<char16_t>(text.data(), text.data() + text.size());
}

std::u16string decodeUtf16Bytes(std::string_view bytes) {
    ByteOrder order;
    if (bytes.starts_with("\xFF\xFE")) {
        order = ByteOrder::little;
        bytes.remove_prefix(2);
    } else if (bytes.starts_with("\xFE\xFF")) {
        order = ByteOrder::big;
        bytes.remove_prefix(2);
    } else {
        order = guessByteOrder(bytes);
    }
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(order == ByteOrder::big ? static_cast<char16_t>(first << 8 | second)
                                               : static_cast<char16_t>(second << 8 | first));
    }
    return text;
}

} // namespace obx
