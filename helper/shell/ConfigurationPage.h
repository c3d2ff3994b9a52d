#pragma once

// The configuration page the helper serves itself, opened in the default
// browser where the configuration application is not installed.

#include <cstdint>
#include <string>

namespace obx {

// "http://127.0.0.1:<port>/ui/?code=<one-time code>": the code is this
// process's own when it serves the page, else one that the helper on port
// gives; without a code ("/ui/") when no helper answers, and the page then
// says how to open it.
std::string configurationPageAddress(std::uint16_t port);

} // namespace obx
