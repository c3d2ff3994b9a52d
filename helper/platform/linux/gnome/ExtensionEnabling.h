#pragma once

// Enables our Shell extension for the user: the uuid of each of its copies is
// added to org.gnome.shell's "enabled-extensions" (the others stay), once: a
// marker in the helper's data folder lists the uuids added, so a user who
// disables the extension later keeps it disabled, and a copy that a newer
// package brings is still added. GNOME loads an extension installed during the
// session only at the next sign-in, which the log and a desktop notification
// tell the user.

#include <filesystem>
#include <string>
#include <vector>

namespace obx::gnome {

// The list with the uuids it lacks added at its end; empty when it holds them.
std::vector<std::string> withExtensions(const std::vector<std::string>& enabled,
                                        const std::vector<std::string>& uuids);

// Adds the copies that were never added to the user's list; true when the
// list changed. Failures are logged, and tried again at the next start.
bool enableShellExtension(const std::filesystem::path& dataFolder);

} // namespace obx::gnome
