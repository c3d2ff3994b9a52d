#pragma once

// UTF-16 text as the device layer and the legacy settings file carry it.

#include <string>
#include <string_view>

namespace obx {

// Invalid sequences are dropped.
std::string utf16ToUtf8(std::u16string_view text);
std::u16string utf8ToUtf16(std::string_view text);

// Bytes of UTF-16 text in either byte order. A byte-order mark decides and
// is dropped; without one, the order whose high bytes are zero more often is
// taken (text with markup is mostly ASCII), big-endian on a tie. A trailing
// odd byte is ignored.
std::u16string decodeUtf16Bytes(std::string_view bytes);

} // namespace obx
