#pragma once

#include <string>
#include <string_view>

namespace obx::kernd {

// UTF-8 to UTF-16, characters past the basic plane as surrogate pairs. A malformed sequence becomes
// U+FFFD, so a string from the command line always reaches the device description.
std::u16string utf16FromUtf8(std::string_view text);

} // namespace obx::kernd
