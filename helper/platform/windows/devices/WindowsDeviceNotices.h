#pragma once

// The trackballs' control devices on Windows: the present interfaces of the
// control interface class through the SetupDi functions, and their arrival
// and removal through RegisterDeviceNotificationW on the worker's
// message-only window ("DeviceMgrMsgWindowClass"), filtered by class and
// posted to the worker with the interface path; the notices of each open
// channel's handle through the same window.

#include "devices/DeviceLayerPlatform.h"
#include "platform/windows/devices/ControlHandleWatch.h"

#include <windows.h>

namespace obx::windows {

class WindowsWaitPrimitive;

// {1A629312-9256-4ED3-83CB-F5FE65F5E03A}
extern const GUID controlInterfaceClass;

// Under HKEY_LOCAL_MACHINE, in the 64-bit view.
inline constexpr const wchar_t* installerKey = L"Software\\Halvex\\Ombrix";
inline constexpr const wchar_t* driverInstallErrorValue = L"DriverInstallError";
inline constexpr const wchar_t* driverServiceKey = L"SYSTEM\\CurrentControlSet\\Services\\obxkern";

class WindowsDeviceNotices final : public IDeviceNotices {
public:
    // waits: the wait primitive of the worker whose window gets the notices.
    explicit WindowsDeviceNotices(WindowsWaitPrimitive& waits,
                                  const GUID& interfaceClass = controlInterfaceClass);
    ~WindowsDeviceNotices() override;
    WindowsDeviceNotices(const WindowsDeviceNotices&) = delete;
    WindowsDeviceNotices& operator=(const WindowsDeviceNotices&) = delete;

    std::vector<std::string> presentDevices() override;
    std::unique_ptr<IDriverChannel> channelFor(const std::string& path) override;
    // A registration that the system refuses is logged; the devices present
    // are served all the same.
    void startNotices(MsgWFMOHandler& worker) override;
    void stopNotices() override;
    // What the installer recorded (installerKey's DriverInstallError: empty
    // when it installed the driver, its reason when it could not), else
    // whether the driver's service key exists.
    std::string missingDriver() override;

    // What a WM_DEVICECHANGE means for the worker: an arrival or removal of
    // an interface of the class, posted with its path; a notice of an open
    // channel's handle (ControlHandleWatch); anything else nothing.
    void onDeviceChange(WPARAM event, LPARAM record);

private:
    WindowsWaitPrimitive& waits_;
    ControlHandleWatch handles_;
    GUID interfaceClass_;
    MsgWFMOHandler* worker_ = nullptr;
    HDEVNOTIFY notification_ = nullptr;
};

} // namespace obx::windows
