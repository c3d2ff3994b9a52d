#pragma once

// What the device layer needs of the system besides the worker's wait: the
// trackballs present and the notices of their coming and going, a channel to
// each one's driver, a watch on the settings folder and the desktop queries.

#include "base/WaitPrimitive.h"
#include "devices/DesktopQueries.h"
#include "devices/DriverChannel.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace obx {

class MsgWFMOHandler;

// Posted to the worker: param is the event, text the device path.
inline constexpr std::uint32_t deviceChangeMessage = 0x219;
inline constexpr std::uint64_t deviceArrivalEvent = 0x8000;
inline constexpr std::uint64_t deviceRemoveCompleteEvent = 0x8004;
// Posted to the worker: reload the settings file.
inline constexpr std::uint32_t reloadSettingsMessage = workerMessageUser;

class IDeviceNotices {
public:
    virtual ~IDeviceNotices() = default;
    // The control devices present now, in the system's order.
    virtual std::vector<std::string> presentDevices() = 0;
    // A channel for path, not opened yet.
    virtual std::unique_ptr<IDriverChannel> channelFor(const std::string& path) = 0;
    // From now on, arrivals, removals and the system's reload requests are
    // posted to worker as messages; on the worker thread.
    virtual void startNotices(MsgWFMOHandler& worker) = 0;
    virtual void stopNotices() = 0;
    // Why no trackball can be served, with the one step that fixes it; empty
    // when the driver is there. Asked on the worker while no trackball is
    // served, every few seconds: it must be cheap.
    virtual std::string missingDriver() { return {}; }
};

// Signalled after something in a folder changed a file of the watched name.
class IFileChangeWatch {
public:
    virtual ~IFileChangeWatch() = default;
    virtual WaitHandle handle() const = 0;
    // Clears the signal; the next change signals again.
    virtual void rearm() = 0;
};

struct DeviceLayerPlatform {
    std::unique_ptr<IWaitPrimitive> waits;
    std::unique_ptr<IDeviceNotices> notices;
    std::unique_ptr<IDesktopQueries> desktop;
    // Throws "Error registering file change notification".
    std::function<std::unique_ptr<IFileChangeWatch>(const std::filesystem::path& file)> watchFile;
};

} // namespace obx
