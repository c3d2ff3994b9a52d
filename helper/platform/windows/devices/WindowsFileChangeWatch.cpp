#include "platform/windows/devices/WindowsFileChangeWatch.h"

#include "platform/headless/HeadlessDesktopQueries.h"
#include "platform/windows/base/WindowsWaitPrimitive.h"
#include "platform/windows/devices/NoDeviceNotices.h"

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
    return {std::make_unique<WindowsWaitPrimitive>(), std::make_unique<NoDeviceNotices>(),
            std::make_unique<HeadlessDesktopQueries>(),
            [](const std::filesystem::path& file) { return std::make_unique<WindowsFileChangeWatch>(file); }};
}

} // namespace obx::windows
