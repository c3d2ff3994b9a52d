#pragma once

#include <string>

namespace obx::windows {

// "Halvex\Ombrix" under the user's roaming application-data folder, in
// UTF-8; empty when the system cannot name that folder.
std::string helperDataFolder();

} // namespace obx::windows
