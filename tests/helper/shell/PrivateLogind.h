#pragma once

// A private D-Bus bus with a mocked logind on it (python3-dbusmock's logind
// template), for a helper pointed at it through DBUS_SYSTEM_BUS_ADDRESS.
// Construction fails the test's set-up with an exception when the bus or the
// mock cannot start.

#include "PrivateBus.h"
#include "SpawnedProcess.h"
#include "support/TempFolder.h"

#include <memory>
#include <string>
#include <systemd/sd-bus.h>

namespace obx::test {

class PrivateLogind {
public:
    PrivateLogind();
    ~PrivateLogind();
    PrivateLogind(const PrivateLogind&) = delete;
    PrivateLogind& operator=(const PrivateLogind&) = delete;

    std::string address() const;

    // A session of this user on seat0.
    void addSession(const std::string& id, bool active);
    void setSessionActive(const std::string& id, bool active);
    void prepareForSleep(bool sleeping);

private:
    void call(const char* path, const char* method, const char* types, ...);

    TempFolder folder_;
    PrivateBus privateBus_;
    std::unique_ptr<SpawnedProcess> mock_;
    sd_bus* bus_ = nullptr;
};

} // namespace obx::test
