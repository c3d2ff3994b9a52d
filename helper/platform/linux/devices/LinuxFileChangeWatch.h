#pragma once

// A change notice for one file through inotify on its folder: writes closed,
// files created, moved into the folder or removed.

#include "devices/DeviceLayerPlatform.h"

namespace obx {

class LinuxFileChangeWatch final : public IFileChangeWatch {
public:
    // Throws "Error registering file change notification".
    explicit LinuxFileChangeWatch(const std::filesystem::path& file);
    ~LinuxFileChangeWatch() override;
    LinuxFileChangeWatch(const LinuxFileChangeWatch&) = delete;
    LinuxFileChangeWatch& operator=(const LinuxFileChangeWatch&) = delete;

    WaitHandle handle() const override { return inotify_; }
    void rearm() override;

private:
    int inotify_;
};

// The device layer on Linux: poll-based worker, obxkernd's runtime folder,
// inotify on the settings folder, and the given desktop queries.
DeviceLayerPlatform makeLinuxDeviceLayerPlatform(std::unique_ptr<IDesktopQueries> desktop);

} // namespace obx
