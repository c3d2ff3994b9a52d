#pragma once

// A copy of the helper beside a stand-in configuration application that adds
// a line to a mark file each time it starts: the helper starts the
// application found beside its own program.

#include "HelperProcess.h"

#include <cstddef>
#include <filesystem>

namespace obx::test {

class ConfigurationStandIn {
public:
    // Points the setting's program at the copy.
    explicit ConfigurationStandIn(HelperSetting& setting);
    // How often the application was started.
    std::size_t launches() const;

private:
    std::filesystem::path mark_;
};

} // namespace obx::test
