#pragma once

// A change notice for one file through FindFirstChangeNotificationW on its
// folder: last-write times and names (a save replaces the file by a rename).
// The notice covers the whole folder; the settings monitor tells the watched
// file's changes apart by its modification time.

#include "devices/DeviceLayerPlatform.h"

namespace obx::windows {

class WindowsFileChangeWatch final : public IFileChangeWatch {
public:
    // Throws "Error registering file change notification".
    explicit WindowsFileChangeWatch(const std::filesystem::path& file);
    ~WindowsFileChangeWatch() override;
    WindowsFileChangeWatch(const WindowsFileChangeWatch&) = delete;
    WindowsFileChangeWatch& operator=(const WindowsFileChangeWatch&) = delete;

    WaitHandle handle() const override { return notification_; }
    void rearm() override;

private:
    WaitHandle notification_;
};

// The device layer of the Windows helper: the MsgWaitForMultipleObjectsEx
// worker, the control devices' discovery and notices, the foreground and
// modifier queries and the settings-folder watch.
DeviceLayerPlatform makeWindowsDeviceLayerPlatform();

} // namespace obx::windows
