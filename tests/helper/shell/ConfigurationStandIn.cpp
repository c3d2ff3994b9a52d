#include "ConfigurationStandIn.h"

#include "support/TempFolder.h"

#include <algorithm>
#include <sys/stat.h>

namespace obx::test {

ConfigurationStandIn::ConfigurationStandIn(HelperSetting& setting) : mark_(setting.folder() / "launched") {
    const auto folder = setting.folder() / "programs";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(setting.program, folder / "obxhelper");
    writeFile(folder / "Quellane2", "#!/bin/sh\necho started >> '" + mark_.string() + "'\n");
    ::chmod((folder / "Quellane2").c_str(), 0755);
    setting.program = folder / "obxhelper";
}

std::size_t ConfigurationStandIn::launches() const {
    const std::string text = readFile(mark_);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace obx::test
