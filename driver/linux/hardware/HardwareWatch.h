#pragma once

// The real trackballs: the hidraw devices that the match table (or --device) names, found by udev at
// start and followed by a udev monitor in the daemon's loop. Arrival attaches a trackball: its hidraw
// source, the grab of its evdev nodes, a uinput mouse and its control socket. Removal runs the
// trackball's removal path, which cancels waiting reads and removes the socket.

#include "../EventLoop.h"
#include "../SocketAccess.h"
#include "../Trackball.h"
#include "ChosenDevices.h"
#include "DeviceTable.h"
#include "EvdevGrab.h"
#include "UnservedDevices.h"
#include "driver/core/FilterDevice.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct udev;
struct udev_device;
struct udev_monitor;

namespace obx::kernd {

struct HardwareSettings {
    DeviceTable table;
    // When not empty, these hidraw nodes only, whatever the table says.
    std::vector<std::string> devnodes;
    std::filesystem::path runtimeDir;
    // The folder of the chosen devices' file.
    std::filesystem::path stateDir;
};

class HardwareWatch final : public IDeviceChoice, private IEventHandler {
public:
    // Starts the monitor, then attaches what is present. Throws std::runtime_error when udev cannot be
    // used at all; a device that cannot be attached is logged and skipped.
    // `unserved` learns of the pointing devices present that are not served, as they come and go.
    HardwareWatch(EventLoop& loop, driver::InstanceCounter& instances, SocketAccess& access,
                  IUnservedDevices& unserved, HardwareSettings settings);
    ~HardwareWatch() override;
    HardwareWatch(const HardwareWatch&) = delete;
    HardwareWatch& operator=(const HardwareWatch&) = delete;

    size_t attachedCount() const { return attached_.size(); }

    // A device chosen is served at once, and at every later plug; one let go gets the kernel's own
    // input back at once. A model that devices.conf lists is always served.
    std::string take(uint16_t vendor, uint16_t product, const std::string& serial) override;
    std::string release(uint16_t vendor, uint16_t product, const std::string& serial) override;

private:
    struct Attached;

    void onEvents(uint32_t events) override;
    bool wanted(udev_device* hidraw) const;
    void arrived(udev_device* hidraw);
    // A pointing device present that the daemon does not serve: logged and told to `unserved_` with
    // what its descriptor declares, so that the user can see what could be chosen.
    void noteUnserved(udev_device* hidraw);
    void departed(const std::string& syspath);
    // An evdev node that appears after its trackball was attached.
    void inputArrived(udev_device* input);
    void attach(udev_device* hidraw);
    void sayWaiting() const;

    EventLoop& loop_;
    driver::InstanceCounter& instances_;
    SocketAccess& access_;
    IUnservedDevices& unserved_;
    HardwareSettings settings_;
    ChosenDevices chosen_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    std::vector<std::unique_ptr<Attached>> attached_;
};

} // namespace obx::kernd
