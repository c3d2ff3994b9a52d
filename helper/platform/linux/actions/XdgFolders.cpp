#include "platform/linux/actions/XdgFolders.h"

#include <filesystem>

namespace obx::x11 {

std::string helperDataFolder(const char* configHome, const char* home) {
    std::filesystem::path base;
    // The XDG rules ignore a relative value, as they do an empty one.
    if (configHome && *configHome == '/') {
        base = configHome;
    } else if (home && *home) {
        base = std::filesystem::path(home) / ".config";
    } else {
        return {};
    }
    return (base / "Halvex" / "Ombrix").string();
}

} // namespace obx::x11
