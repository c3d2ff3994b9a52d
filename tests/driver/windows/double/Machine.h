#pragma once

// The system around the driver, as the scenarios drive it: the loader, the PnP manager, the HID class
// below the filter, the mouse class driver above it and the helper's handles on the control device.
// Plain C++: the scenarios see no kernel header. Every call runs the driver's callbacks at the IRQL
// the system would, and the rules it breaks are collected by the Verifier.

#include "driver/core/Framework.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace obx::kmdf_double {

using Bytes = std::vector<uint8_t>;

// The HID mouse collection below the filter.
struct HidModel {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
    Bytes reportDescriptor;
    std::wstring product;
    std::wstring serialNumber;
};

// What the control device told the PnP manager about itself.
struct ControlIdentity {
    bool raw = false;
    std::wstring securityDescriptor;
    std::wstring deviceId;
    std::vector<std::wstring> hardwareIds;
    std::wstring instanceId;
    std::wstring description;
    std::wstring location;
    bool defaultQueuePowerManaged = true;
    bool interfaceRegistered = false;
    bool staticChildOfFilter = false;
};

// The system's view of one request it sent to the driver.
struct RequestResult {
    int completions = 0;
    uint32_t status = 0;
    uint64_t information = 0;
    Bytes output;
};

using Handle = int;
using RequestId = int;

// What the PnP manager tells the holder of a handle on the control device that registered for the
// handle's notices, as an orderly removal goes.
enum class ControlNotice { QueryRemove, RemoveCancelled, RemoveComplete };

// A removal that the PnP manager takes back after the drivers agreed to it: a handle on the control
// device is still open (the user is then asked to restart).
inline constexpr uint32_t kRemovalVetoed = 0xC0000010u;

class Machine {
public:
    // The driver image's entry (the loader stub) at passive level; the driver's status.
    static uint32_t load();
    // The PnP manager adds and starts the filter device on `model`; the first failing status.
    static uint32_t addDevice(const HidModel& model);
    static ControlIdentity controlIdentity();

    // The mouse class driver: its create on the filter device, its connect request with a recording
    // service callback, its other internal requests, and its close.
    static uint32_t openClass();
    static uint32_t connectClass();
    static RequestResult internalControl(uint32_t code, size_t outputLength, uint8_t fill = 0);
    static void closeClass();
    static std::vector<driver::MouseInputData> takePackets();

    // An input report from the device: it completes the read that waits below, or is kept by the
    // HID class until one comes.
    static void report(const Bytes& report);
    // The HID class completes the read that waits with `status`.
    static void failRead(uint32_t status);
    // The internal requests of the class driver that the filter passed on down, by code.
    static std::vector<uint32_t> passedDown();
    static bool readWaitingBelow();
    // The deepest the driver's read sends nested within each other.
    static int maxSendDepth();

    // The helper's handles on the control device.
    static Handle openControl();
    static RequestResult control(Handle handle, uint32_t code, const Bytes& input, size_t outputLength);
    static RequestId read(Handle handle, size_t length);
    static const RequestResult& result(RequestId id);
    static void cancel(RequestId id);
    // The next completion of the read races its cancel: the cancel routine runs before the driver's
    // completion path is through (`routineFirst`) or after it.
    static void cancelDuringCompletion(RequestId id, bool routineFirst);
    static void closeControl(Handle handle);

    // Time passes; the timers that come due run at dispatch level. While ticks are held, those that
    // come due wait, as queued on another processor, until they are released.
    static void advance(uint32_t milliseconds);
    static void holdTicks();
    static void releaseTicks();

    // The device leaves its working state and comes back: system sleep and resume, and a stop for
    // rebalancing and the restart after it.
    static void sleep();
    static void resume();
    static void stop();
    static void restart();

    // The kernel debugger's output of the driver.
    static std::string debugOutput();

    // The holder of the control device's handles, told of each step of an orderly removal.
    static void watchControl(std::function<void(ControlNotice)> watcher);
    // An orderly removal: the query (after the notices; kRemovalVetoed while a handle on the control
    // device stays open), its cancel, and the removal after a query that succeeded: the device leaves
    // its working state, the hardware is released, the class driver closes its handle and both devices
    // are deleted.
    static uint32_t queryRemove();
    static void cancelRemove();
    static void remove();
    // The device is gone: the HID class fails the read that waits, the hardware is released, the class
    // driver closes its handle, the helper's handles are closed and both devices are deleted.
    static void surpriseRemove();
    // The driver's unload; the double then checks that nothing of the driver is left.
    static void unload();

    // Forgets everything, for the next scenario.
    static void reset();
};

} // namespace obx::kmdf_double
