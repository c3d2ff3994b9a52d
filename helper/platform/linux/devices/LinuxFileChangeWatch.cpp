#include "platform/linux/devices/LinuxFileChangeWatch.h"

#include "platform/linux/base/LinuxWaitPrimitive.h"
#include "platform/linux/devices/LinuxDeviceNotices.h"

#include <array>
#include <stdexcept>
#include <sys/inotify.h>
#include <unistd.h>

namespace obx {

LinuxFileChangeWatch::LinuxFileChangeWatch(const std::filesystem::path& file)
    : inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    if (inotify_ < 0 || ::inotify_add_watch(inotify_, folder.c_str(),
                                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE) < 0) {
        if (inotify_ >= 0) {
            ::close(inotify_);
        }
        throw std::runtime_error("Error registering file change notification");
    }
}

LinuxFileChangeWatch::~LinuxFileChangeWatch() {
    ::close(inotify_);
}

void LinuxFileChangeWatch::rearm() {
    alignas(inotify_event) std::array<char, 4096> events;
    while (::read(inotify_, events.data(), events.size()) > 0) {
    }
}

DeviceLayerPlatform makeLinuxDeviceLayerPlatform(std::unique_ptr<IDesktopQueries> desktop) {
    return {std::make_unique<LinuxWaitPrimitive>(), std::make_unique<LinuxDeviceNotices>(obxRuntimeFolder()),
            std::move(desktop),
            [](const std::filesystem::path& file) { return std::make_unique<LinuxFileChangeWatch>(file); }};
}

} // namespace obx
