#pragma once

// The notices of the helper's open handles on the trackballs' control
// devices. Without them an orderly removal (disabling the device, a driver
// update, a restart of the device) finds the handle open and Windows asks for
// a reboot. A query-remove closes the handle before the system looks; the
// device is dropped. A cancelled removal opens it again (as an arrival); a
// removal drops it. Each registration is kept until one of these ends it, as
// the cancel comes through the registration of the handle already closed.

#include "base/WaitPrimitive.h"

#include <functional>
#include <map>
#include <optional>
#include <string>

// <windows.h> first: the device headers build on it.
// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

namespace obx::windows {

class WindowsDriverChannel;
class WindowsWaitPrimitive;

// How a handle's notices are registered for on a window and ended; the
// system's functions unless a test stands in for them.
struct HandleNoticeRegistrar {
    std::function<HDEVNOTIFY(HWND window, HANDLE device)> add;
    std::function<void(HDEVNOTIFY registration)> remove;
};
HandleNoticeRegistrar systemHandleNoticeRegistrar();

// On the worker's thread, whose window gets the notices.
class ControlHandleWatch {
public:
    explicit ControlHandleWatch(WindowsWaitPrimitive& waits,
                                HandleNoticeRegistrar registrar = systemHandleNoticeRegistrar())
        : waits_(waits), registrar_(std::move(registrar)) {}
    ~ControlHandleWatch();
    ControlHandleWatch(const ControlHandleWatch&) = delete;
    ControlHandleWatch& operator=(const ControlHandleWatch&) = delete;

    // From the channel's open; a registration the system refuses is logged,
    // and the device then only keeps a removal from completing.
    void watch(WindowsDriverChannel& channel, HANDLE device, const std::string& path);
    // From the channel's close: its registration ends, unless a removal
    // query has closed the handle and the outcome is still to come.
    void forget(WindowsDriverChannel& channel);

    // A WM_DEVICECHANGE of a handle: on a query-remove the channel's handle is
    // closed before this returns. What the worker is to be told: the device's
    // departure (query-remove, removal) or its arrival (cancelled removal).
    std::optional<WorkerMessage> onNotice(WPARAM event, const DEV_BROADCAST_HDR& record);

private:
    struct Registration {
        std::string path;
        WindowsDriverChannel* channel = nullptr; // none once the query closed the handle
    };

    void end(std::map<HDEVNOTIFY, Registration>::iterator registration);

    WindowsWaitPrimitive& waits_;
    HandleNoticeRegistrar registrar_;
    std::map<HDEVNOTIFY, Registration> registrations_;
};

} // namespace obx::windows
