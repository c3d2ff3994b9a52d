#pragma once

// A private session bus with a mocked notification daemon on it
// (python3-dbusmock's notification_daemon template), for programs pointed at
// it through DBUS_SESSION_BUS_ADDRESS. Construction throws when the bus or
// the mock cannot start.

#include "../../helper/shell/SpawnedProcess.h"
#include "support/TempFolder.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <systemd/sd-bus.h>
#include <vector>

namespace obx::test {

// Generous: CI machines are small and busy.
inline constexpr std::chrono::milliseconds kServiceWait{20'000};

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kServiceWait);

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
    ~PrivateNotifications();
    PrivateNotifications(const PrivateNotifications&) = delete;
    PrivateNotifications& operator=(const PrivateNotifications&) = delete;

    std::string address() const;
    std::vector<NotifyCall> notifyCalls();
    // The user clicks notification id.
    void invokeDefaultAction(std::uint32_t id);

private:
    TempFolder folder_;
    std::unique_ptr<SpawnedProcess> daemon_;
    std::unique_ptr<SpawnedProcess> mock_;
    sd_bus* bus_ = nullptr;
};

} // namespace obx::test
