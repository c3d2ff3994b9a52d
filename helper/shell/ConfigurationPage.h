#pragma once

// The configuration page the helper serves itself, opened in the default
// browser where the configuration application is not installed.

#include <cstdint>
#include <string>

namespace obx {

// "http://127.0.0.1:<port>/ui/"
std::string configurationPageAddress(std::uint16_t port);

} // namespace obx
