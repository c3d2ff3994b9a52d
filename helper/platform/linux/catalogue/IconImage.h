#pragma once

#include <filesystem>
#include <string>

namespace obx::linuxos {

// The icon of a file as the Base64 text of a PNG image: a PNG file as it is,
// an SVG file drawn at size by size pixels; empty for anything else, or for
// a file that cannot be read, is too large or does not draw.
std::string iconImageBase64(const std::filesystem::path& file, int size);

} // namespace obx::linuxos
