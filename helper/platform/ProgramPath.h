#pragma once

#include <filesystem>

namespace obx {

// Full path of the running executable; empty when the system cannot tell.
std::filesystem::path runningExecutablePath();

} // namespace obx
