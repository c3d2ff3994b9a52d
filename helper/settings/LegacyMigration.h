#pragma once

// Conversion of the settings of the product's earlier generation (UTF-16
// XML, "ObxSettings.xml") into the settings file, once, at start-up.

#include <filesystem>

namespace obx::legacy {

// Converts the legacy file when it exists in the settings folder and the
// settings file does not; the legacy file is only read. Never throws: a
// failure is logged and start-up goes on with whatever was saved.
void migrate();
// The same with the keystroke macros taken from macrosFile.
void migrate(const std::filesystem::path& macrosFile);

} // namespace obx::legacy
