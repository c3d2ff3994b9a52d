#include "service/windows/ConsoleService.h"

namespace obx::win {

ConsoleService::ConsoleService(std::wstring name) : name_(std::move(name)) {
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status_.dwCurrentState = SERVICE_STOPPED;
}

DWORD ConsoleService::run() {
    reportRunning();
    stopEvent_.wait();
    return 0;
}

void ConsoleService::stop() {
    reportStopPending();
    stopEvent_.set();
}

void ConsoleService::setState(DWORD state) {
    status_.dwCurrentState = state;
    if (!console_ && statusHandle_) {
        SetServiceStatus(statusHandle_, &status_);
    }
}

void ConsoleService::reportRunning() {
    status_.dwControlsAccepted |= SERVICE_ACCEPT_STOP;
    setState(SERVICE_RUNNING);
}

void ConsoleService::reportStopPending() {
    setState(SERVICE_STOP_PENDING);
}

void ConsoleService::serviceMain() {
    status_.dwCurrentState = SERVICE_START_PENDING;
    if (!console_) {
        statusHandle_ = RegisterServiceCtrlHandlerExW(name_.c_str(), &ConsoleService::controlHandler, this);
        if (!statusHandle_) {
            return;
        }
    }
    status_.dwControlsAccepted = 0;
    setState(SERVICE_START_PENDING);
    const DWORD exitCode = run();
    status_.dwControlsAccepted |= SERVICE_ACCEPT_STOP;
    status_.dwWin32ExitCode = exitCode;
    setState(SERVICE_STOPPED);
}

DWORD WINAPI ConsoleService::controlHandler(DWORD control, DWORD eventType, void* eventData, void* context) {
    auto& service = *static_cast<ConsoleService*>(context);
    switch (control) {
    case SERVICE_CONTROL_STOP:
        service.stop();
        return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
        service.pause();
        return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
        service.continueService();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        service.interrogate();
        return NO_ERROR;
    case SERVICE_CONTROL_PRESHUTDOWN:
        return service.preShutdown();
    case SERVICE_CONTROL_SHUTDOWN:
        service.shutdown();
        return NO_ERROR;
    case SERVICE_CONTROL_DEVICEEVENT:
        return service.deviceEvent(eventType, eventData);
    case SERVICE_CONTROL_HARDWAREPROFILECHANGE:
        return service.hardwareProfileChange(eventType);
    case SERVICE_CONTROL_SESSIONCHANGE: {
        const auto* session = static_cast<const WTSSESSION_NOTIFICATION*>(eventData);
        return service.sessionChange(eventType, session ? session->dwSessionId : 0);
    }
    case SERVICE_CONTROL_POWEREVENT:
        return service.powerEvent(eventType, eventData);
    default:
        service.otherControl(control);
        return NO_ERROR;
    }
}

} // namespace obx::win
