#include "catalogue/Base64.h"

#include <cstdint>

namespace obx {

std::string base64Encode(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    auto byte = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]));
    };
    for (; i + 3 <= bytes.size(); i += 3) {
        const auto group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        text += alphabet[group >> 18 & 0x3F];
        text += alphabet[group >> 12 & 0x3F];
        text += alphabet[group >> 6 & 0x3F];
        text += alphabet[group & 0x3F];
    }
    const auto rest = bytes.size() - i;
    if (rest > 0) {
        const auto group = byte(i) << 16 | (rest == 2 ? byte(i + 1) << 8 : 0);
        text += alphabet[group >> 18 & 0x3F];
        text += alphabet[group >> 12 & 0x3F];
        text += rest == 2 ? alphabet[group >> 6 & 0x3F] : '=';
        text += '=';
    }
    return text;
}

} // namespace obx
