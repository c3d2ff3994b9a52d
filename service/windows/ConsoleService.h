#pragma once

// A Windows service that can also run in a console: the control handler
// turns each control of the service control manager into one operation, and
// in the console no call to the service control manager is made.

#include "service/Clock.h"
#include "service/NotifyService.h"

#include <string>
#include <windows.h>

namespace obx::win {

class ConsoleService : public ServiceStatusReporter {
public:
    explicit ConsoleService(std::wstring name);
    ~ConsoleService() override = default;
    ConsoleService(const ConsoleService&) = delete;
    ConsoleService& operator=(const ConsoleService&) = delete;

    // The operations, one per control.
    virtual DWORD run();
    // The temporary folder, name and ".log".
    virtual void stop();
    virtual void pause() {}
    virtual void continueService() {}
    virtual void interrogate() {}
    virtual DWORD preShutdown() { return 0; }
    virtual void shutdown() {}
    virtual DWORD deviceEvent(DWORD /*eventType*/, void* /*eventData*/) { return 0; }
    virtual DWORD hardwareProfileChange(DWORD /*eventType*/) { return 0; }
    virtual DWORD sessionChange(DWORD /*eventType*/, DWORD /*sessionId*/) { return 0; }
    virtual DWORD powerEvent(DWORD /*eventType*/, void* /*eventData*/) { return 0; }
    virtual void otherControl(DWORD /*control*/) {}

    // Service main: registers the control handler (not in the console),
    // runs, and reports the end with run's result as the exit code.
    void serviceMain();
    void setConsole(bool console) { console_ = console; }
    const std::wstring& name() const { return name_; }

    // Accepts the stop control and reports running.
    void reportRunning() override;
    void reportStopPending() override;

protected:
    StopEvent& stopEvent() { return stopEvent_; }

private:
    static DWORD WINAPI controlHandler(DWORD control, DWORD eventType, void* eventData, void* context);
    void setState(DWORD state);

    std::wstring name_;
    SERVICE_STATUS status_{};
    SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
    StopEvent stopEvent_;
    bool console_ = false;
};

} // namespace obx::win
