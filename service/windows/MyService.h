#pragma once

// The notification service: run starts the notify sequence and waits for the
// stop; session changes are only logged.

#include "service/windows/ConsoleService.h"
#include "service/windows/WinSystem.h"

namespace obx::win {

class MyService : public ConsoleService {
public:
    explicit MyService(ServiceLog& log);

    DWORD run() override;
    DWORD sessionChange(DWORD eventType, DWORD sessionId) override;

private:
    ServiceLog& log_;
    RegistryRecord record_;
    InstallerProductCheck product_;
    UserSessionPopupStarter starter_;
    SystemClock clock_;
    NotifySequence sequence_;
    NotifyService notifyService_;
};

} // namespace obx::win
