#include "platform/windows/devices/WindowsFileChangeWatch.h"

#include "platform/windows/base/WindowsWaitPrimitive.h"
#include "platform/windows/devices/WindowsDesktopQueries.h"
#include "platform/windows/devices/WindowsDeviceNotices.h"

#include <stdexcept>

namespace obx::windows {

WindowsFileChangeWatch::WindowsFileChangeWatch(const std::filesystem::path& file) {
    const auto folder = file.parent_path().empty() ? std::filesystem::path(L".") : file.parent_path();
    HANDLE notification = ::FindFirstChangeNotificationW(
        folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME);
    if (notification == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("Error registering file change notification");
    }
    notification_ = reinterpret_cast<WaitHandle>(notification);
}

WindowsFileChangeWatch::~WindowsFileChangeWatch() {
    ::FindCloseChangeNotification(reinterpret_cast<HANDLE>(notification_));
}

void WindowsFileChangeWatch::rearm() {
    ::FindNextChangeNotification(reinterpret_cast<HANDLE>(notification_));
}

DeviceLayerPlatform makeWindowsDeviceLayerPlatform() {
    auto waits = std::make_unique<WindowsWaitPrimitive>();
    // The notices go to the window of this wait, which the worker owns.
    auto notices = std::make_unique<WindowsDeviceNotices>(*waits);
    return {std::move(waits), std::move(notices), std::make_unique<WindowsDesktopQueries>(),
            [](const std::filesystem::path& file) { return std::make_unique<WindowsFileChangeWatch>(file); }};
}

} // namespace obx::windows
