#pragma once

// A private session bus with a mocked notification daemon on it
// (python3-dbusmock's notification_daemon template), for programs pointed at
// it through DBUS_SESSION_BUS_ADDRESS. Construction throws when the bus or
// the mock cannot start.

#include "support/PrivateBus.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace obx::test {

// Generous: CI machines are small and busy.
inline constexpr std::chrono::milliseconds kServiceWait{20'000};

inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = kServiceWait) {
    return PrivateBus::waitUntil(condition, timeout);
}

// One Notify call as the daemon received it.
struct NotifyCall {
    std::string application;
    std::string summary;
    std::string body;
    std::vector<std::string> actions;
    std::int32_t timeout = 0;
};

class PrivateNotifications {
public:
    PrivateNotifications();

    std::string environmentEntry() const { return bus_.environmentEntry(); }
    std::vector<NotifyCall> notifyCalls();
    // The user clicks notification id.
    void invokeDefaultAction(std::uint32_t id);

private:
    PrivateBus bus_;
};

} // namespace obx::test
