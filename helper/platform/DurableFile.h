#pragma once

// Writing a file so that a crash or power loss at any moment leaves either
// the previous content or the complete new one.

#include <filesystem>
#include <string_view>
#include <system_error>

namespace obx {

// Creates or truncates path, writes content and waits until the system has
// put it on the disk.
std::error_code writeFileDurably(const std::filesystem::path& path, std::string_view content);

// Puts from in the place of to in one step and makes that change durable.
std::error_code replaceFileDurably(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace obx
