#pragma once

// A private D-Bus bus (its own dbus-daemon) for one test. Construction throws
// when the daemon does not come up.

#include "SpawnedProcess.h"
#include "support/TempFolder.h"

#include <memory>
#include <string>

namespace obx::test {

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    std::string address() const;

private:
    TempFolder folder_;
    std::unique_ptr<SpawnedProcess> daemon_;
};

} // namespace obx::test
