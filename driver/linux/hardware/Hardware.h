#pragma once

// Where the hardware watch finds hidraw devices and what it does with them: udev, hidraw, evdev and
// uinput on a real system (UdevHardware), or a folder that a test fills at run time (FolderHardware).
// The watch decides which devices to serve; this says which are there, and opens, grabs and mirrors
// them.

#include "../EventLoop.h"
#include "../MouseSink.h"
#include "../UniqueFd.h"
#include "HidrawSource.h"
#include "UinputMouseSink.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace obx::kernd {

// One hidraw device and the HID device above it, as discovery tells them.
struct HidrawDevice {
    std::string syspath;    // of the hidraw device: what identifies it until it leaves
    std::string devnode;    // empty: no node (yet)
    std::string hidSyspath; // of the HID device above it; empty when there is none
    std::string hidId;      // its HID_ID, "BUS:VENDOR:PRODUCT" in hexadecimal
    std::string name;       // its HID_NAME
    std::string serial;     // its HID_UNIQ
    HidrawTexts usbTexts;   // the USB device's own strings, where there is one above
};

// What the inputs (evdev) of a HID device tell.
struct HidInputs {
    uint16_t version = 0;
    std::vector<std::string> eventNodes;
};

class IHardwareEvents {
public:
    virtual ~IHardwareEvents() = default;
    virtual void arrived(const HidrawDevice& device) = 0;
    virtual void departed(const std::string& syspath) = 0;
    // An evdev node that appeared below the HID device `hidSyspath`.
    virtual void inputArrived(const std::string& hidSyspath, const std::string& eventNode) = 0;
};

class Hardware {
public:
    virtual ~Hardware() = default;
    // Notices go to `events` from now on, in the loop.
    virtual void watch(EventLoop& loop, IHardwareEvents& events) = 0;
    virtual std::vector<HidrawDevice> present() = 0;
    virtual std::optional<HidrawDevice> find(const std::string& syspath) = 0;
    virtual HidInputs inputsOf(const std::string& hidSyspath) = 0;
    // The kernel's copy of the report descriptor, at most `maxBytes`; empty when unreadable.
    std::vector<uint8_t> reportDescriptor(const HidrawDevice& device, size_t maxBytes) const;
    virtual std::unique_ptr<HidrawSource> open(EventLoop& loop, const HidrawDevice& device,
                                               uint16_t version) = 0;
    // Holds the node so that the kernel's own input from it goes quiet until the descriptor closes;
    // an invalid descriptor (errno set) when it cannot.
    virtual UniqueFd grab(const std::string& eventNode) = 0;
    // The mouse above the device; `devnode` learns where it is (empty when unknown).
    virtual std::unique_ptr<MouseSink> mouse(EventLoop& loop, const HidrawDevice& device,
                                             const UinputIdentity& identity, std::string& devnode) = 0;
};

// libudev: enumeration, the udev monitor (or the kernel's notices without udevd), hidraw ioctls,
// EVIOCGRAB and uinput. Throws std::runtime_error when udev cannot be used at all.
std::unique_ptr<Hardware> makeUdevHardware();

// Test-only: hidraw devices as folders of `root`, each with the HID device's `uevent` (HID_ID,
// HID_NAME, HID_UNIQ) and `report_descriptor`, a SOCK_SEQPACKET socket `hidraw` that sends one input
// report a message, and sockets `eventN` whose connection the daemon holds for as long as it grabs
// them. A folder renamed into `root` is a plug, one removed or renamed away an unplug. The mouse above
// the device of folder F is the socket `root/mouse-F`, in the virtual trackball's packet text.
std::unique_ptr<Hardware> makeFolderHardware(const std::filesystem::path& root);

} // namespace obx::kernd
