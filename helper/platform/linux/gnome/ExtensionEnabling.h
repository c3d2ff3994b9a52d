#pragma once

// Enables our Shell extension for the user: its uuid is added to
// org.gnome.shell's "enabled-extensions" (the others stay), once: a marker in
// the helper's data folder remembers it, so a user who disables the extension
// later keeps it disabled. GNOME loads an extension installed during the
// session only at the next sign-in, which the log and a desktop notification
// tell the user.

#include <filesystem>
#include <string>
#include <vector>

namespace obx::gnome {

// The list with the uuid added at its end; empty when the list holds it.
std::vector<std::string> withExtension(const std::vector<std::string>& enabled, const std::string& uuid);

// On the first start: adds the extension to the user's list when it is
// missing; true when it was added. Failures are logged, and tried again at
// the next start.
bool enableShellExtension(const std::filesystem::path& dataFolder);

} // namespace obx::gnome
