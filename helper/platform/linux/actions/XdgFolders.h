#pragma once

#include <string>

namespace obx::x11 {

// The helper's per-user folder: $XDG_CONFIG_HOME/Halvex/Ombrix, or
// ~/.config/Halvex/Ombrix when that is unset or empty (as the XDG base
// directory rules say); empty when there is no home either. Not created here.
std::string helperDataFolder(const char* configHome, const char* home);

} // namespace obx::x11
