#pragma once

// Opening the log's files. Each platform folder provides it.

#include <cstdio>
#include <filesystem>

namespace obx {

// Opens the file for appending, created when missing, and kept from the
// programs the helper starts (which would otherwise hold it open after the
// helper ended). Null when it cannot be opened.
std::FILE* openLogFile(const std::filesystem::path& path);

} // namespace obx
