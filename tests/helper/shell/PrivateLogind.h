#pragma once

// A private D-Bus bus with a mocked logind on it (python3-dbusmock's logind
// template), for a helper pointed at it through DBUS_SYSTEM_BUS_ADDRESS.
// Construction fails the test's set-up with an exception when the bus or the
// mock cannot start.

#include "support/PrivateBus.h"

#include <string>
#include <unistd.h>

namespace obx::test {

class PrivateLogind {
public:
    PrivateLogind();

    std::string address() const { return bus_.address(); }

    // A session of `user` on seat0; one added active becomes the seat's active session.
    void addSession(const std::string& id, bool active, uid_t user = ::getuid());
    void setSessionActive(const std::string& id, bool active);
    void prepareForSleep(bool sleeping);
    // The "sleep" locks of mode "delay" that logind holds now.
    int sleepDelayLocks();

private:
    PrivateBus bus_;
};

} // namespace obx::test
