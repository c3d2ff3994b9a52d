#include "platform/windows/devices/ControlHandleWatch.h"

#include "base/Log.h"
#include "devices/DeviceLayerPlatform.h"
#include "platform/windows/base/WindowsWaitPrimitive.h"
#include "platform/windows/devices/WindowsDriverChannel.h"

#include <algorithm>
#include <utility>

// <windows.h> first: the device headers build on it.
// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

namespace obx::windows {

HandleNoticeRegistrar systemHandleNoticeRegistrar() {
    return {[](HWND window, HANDLE device) {
                DEV_BROADCAST_HANDLE filter{};
                filter.dbch_size = sizeof filter;
                filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
                filter.dbch_handle = device;
                return ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            },
            [](HDEVNOTIFY registration) { ::UnregisterDeviceNotification(registration); }};
}

ControlHandleWatch::~ControlHandleWatch() {
    while (!registrations_.empty()) {
        end(registrations_.begin());
    }
}

void ControlHandleWatch::watch(WindowsDriverChannel& channel, HANDLE device, const std::string& path) {
    const HDEVNOTIFY registration = registrar_.add(waits_.window(), device);
    if (!registration) {
        log(LogLevel::warning, "Cannot register for the notices of ", path, ", error ", ::GetLastError(),
            ": removing the trackball will need a restart");
        return;
    }
    registrations_[registration] = Registration{path, &channel};
}

void ControlHandleWatch::forget(WindowsDriverChannel& channel) {
    const auto found = std::find_if(registrations_.begin(), registrations_.end(),
                                    [&](const auto& entry) { return entry.second.channel == &channel; });
    if (found != registrations_.end()) {
        end(found);
    }
}

void ControlHandleWatch::end(std::map<HDEVNOTIFY, Registration>::iterator registration) {
    registrar_.remove(registration->first);
    registrations_.erase(registration);
}

std::optional<WorkerMessage> ControlHandleWatch::onNotice(WPARAM event, const DEV_BROADCAST_HDR& record) {
    if (record.dbch_devicetype != DBT_DEVTYP_HANDLE || record.dbch_size < sizeof(DEV_BROADCAST_HANDLE)) {
        return std::nullopt;
    }
    const auto& notice = reinterpret_cast<const DEV_BROADCAST_HANDLE&>(record);
    const auto found = registrations_.find(notice.dbch_hdevnotify);
    if (found == registrations_.end()) {
        return std::nullopt;
    }
    const std::string path = found->second.path;
    switch (event) {
    case DBT_DEVICEQUERYREMOVE:
        if (WindowsDriverChannel* channel = std::exchange(found->second.channel, nullptr)) {
            log(LogLevel::info, "Removal asked for: closing ", path);
            channel->releaseDevice();
        }
        return WorkerMessage{deviceChangeMessage, deviceRemoveCompleteEvent, path};
    case DBT_DEVICEQUERYREMOVEFAILED:
        // The registration of the closed handle ends; the arrival opens a new one.
        if (found->second.channel == nullptr) {
            end(found);
            return WorkerMessage{deviceChangeMessage, deviceArrivalEvent, path};
        }
        return std::nullopt;
    case DBT_DEVICEREMOVEPENDING:
    case DBT_DEVICEREMOVECOMPLETE:
        if (WindowsDriverChannel* channel = found->second.channel) {
            channel->releaseDevice();
        }
        end(found);
        return WorkerMessage{deviceChangeMessage, deviceRemoveCompleteEvent, path};
    default:
        return std::nullopt;
    }
}

} // namespace obx::windows
