#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace obx::linuxos {

// The content of a regular file of at most limit bytes, read through a
// close-on-exec descriptor; nothing when it cannot be read or is larger.
std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t limit);

} // namespace obx::linuxos
