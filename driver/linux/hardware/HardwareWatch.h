#pragma once

// The real trackballs: the hidraw devices that the match table (or --device) names, found by the
// hardware (udev) at start and followed by its notices in the daemon's loop. Arrival attaches a trackball:
// its hidraw source, the grab of its evdev nodes, a uinput mouse and its control socket. Removal runs the
// trackball's removal path, which cancels waiting reads and removes the socket.

#include "../EventLoop.h"
#include "../SocketAccess.h"
#include "../Trackball.h"
#include "ChosenDevices.h"
#include "DeviceTable.h"
#include "EvdevGrab.h"
#include "Hardware.h"
#include "UnservedDevices.h"
#include "driver/core/FilterDevice.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace obx::kernd {

struct HardwareSettings {
    DeviceTable table;
    // When not empty, these hidraw nodes only, whatever the table says.
    std::vector<std::string> devnodes;
    std::filesystem::path runtimeDir;
    // The folder of the chosen devices' file.
    std::filesystem::path stateDir;
};

class HardwareWatch final : public IDeviceChoice, private IHardwareEvents {
public:
    // Follows the hardware's notices, then attaches what is present. A device that cannot be attached
    // is logged and skipped. `unserved` learns of the pointing devices present that are not served, as
    // they come and go.
    HardwareWatch(EventLoop& loop, driver::InstanceCounter& instances, SocketAccess& access,
                  IUnservedDevices& unserved, HardwareSettings settings, std::unique_ptr<Hardware> hardware);
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

    bool wanted(const HidrawDevice& hidraw) const;
    void arrived(const HidrawDevice& hidraw) override;
    // A pointing device present that the daemon does not serve: logged and told to `unserved_` with
    // what its descriptor declares, so that the user can see what could be chosen.
    void noteUnserved(const HidrawDevice& hidraw);
    void departed(const std::string& syspath) override;
    // An evdev node that appears after its trackball was attached.
    void inputArrived(const std::string& hidSyspath, const std::string& eventNode) override;
    void attach(const HidrawDevice& hidraw);
    void arriveAll();
    void sayWaiting() const;

    EventLoop& loop_;
    driver::InstanceCounter& instances_;
    SocketAccess& access_;
    IUnservedDevices& unserved_;
    HardwareSettings settings_;
    ChosenDevices chosen_;
    std::unique_ptr<Hardware> hardware_;
    std::vector<std::unique_ptr<Attached>> attached_;
};

} // namespace obx::kernd
