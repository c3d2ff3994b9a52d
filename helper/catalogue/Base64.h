#pragma once

#include <string>
#include <string_view>

namespace obx {

// The standard alphabet with "=" padding and no line breaks (RFC 4648,
// section 4).
std::string base64Encode(std::string_view bytes);

} // namespace obx
