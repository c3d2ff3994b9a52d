#include "platform/linux/desktop/WaylandDesktopServices.h"

#include "actions/ArrowKeyScroll.h"
#include "base/Log.h"
#include "catalogue/ProgramCatalogue.h"
#include "platform/linux/actions/Programs.h"

namespace obx::linuxos {

void WaylandDesktopServices::openItem(const std::string& path, const std::vector<std::string>&, int) {
    try {
        if (!x11::openWithDefaultApplication(path)) {
            log(LogLevel::error, "WaylandDesktopServices::openItem - could not start xdg-open for ", path);
        }
    } catch (const std::exception& error) {
        log(LogLevel::error, "WaylandDesktopServices::openItem - ", error.what());
    }
}

void WaylandDesktopServices::scrollByKeys(std::uint32_t direction, int lines) {
    scrollByArrowKeys(*this, direction, lines);
}

void WaylandDesktopServices::cannot(const std::string& what, const std::string& why) {
    if (refused_.insert(what).second) {
        log(LogLevel::warning, "This desktop cannot ", what, ": ", why);
    }
}

nlohmann::json WaylandDesktopServices::listApplications(int maxCount,
                                                        const std::set<std::string>& excludedNames) {
    return programCatalogue().listApplications(maxCount, excludedNames);
}

} // namespace obx::linuxos
