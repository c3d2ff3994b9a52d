#pragma once

// The framework seam of the driver: what the device logic needs from the system around it. A host
// (the kernel framework, the user-space daemon, a test harness) implements these and calls the
// device objects' entry points.

#include "driver/shared/ObxControl.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace obx::driver {

using ObxStatus = OBX_STATUS;

// The identity of one open handle.
using FileObject = const void*;

struct Completion {
    ObxStatus status = OBX_STATUS_SUCCESS;
    uint32_t information = 0; // bytes returned or taken
    // Not the filter's request: a host with drivers below passes it on to them unchanged, and only a
    // host without completes it with `status`.
    bool forBelow = false;
};

// Interfaces are never deleted through: their destructors are protected and not virtual, so that a
// kernel build needs no deleting destructor and so no operator delete.

class ILock {
public:
    virtual void lock() = 0;
    virtual void unlock() = 0;

protected:
    ~ILock() = default;
};

class LockGuard {
public:
    explicit LockGuard(ILock& lock) : lock_(lock) { lock_.lock(); }
    ~LockGuard() { lock_.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    ILock& lock_;
};

// Started and stopped under the device lock.
class ITimer {
public:
    // Starts (or restarts) the timer with a relative due time; returns whether it was already waiting.
    virtual bool start(uint32_t milliseconds) = 0;
    // Cancels a waiting timer without waiting for a timer function that is running.
    virtual void stop() = 0;
    // Asked under the device lock as a tick runs: false for a tick that came due before a stop and
    // runs after it (a system that queues timer functions may run one that late), which is dropped.
    // A host whose stop takes back every tick has nothing to check.
    virtual bool tickWanted() { return true; }

protected:
    ~ITimer() = default;
};

class IClock {
public:
    virtual uint64_t uptimeMilliseconds() const = 0;

protected:
    ~IClock() = default;
};

// The HID collection below the filter.
struct HidCollectionInformation {
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
    uint32_t descriptorSize = 0;
};

enum class HidString : uint8_t { Product, SerialNumber };

class IReadCompletion {
public:
    virtual void readCompleted(ObxStatus status, uint32_t bytesRead) = 0;

protected:
    ~IReadCompletion() = default;
};

class IHidDevice {
public:
    virtual ObxStatus collectionInformation(HidCollectionInformation& info) = 0;
    // The report descriptor, `info.descriptorSize` bytes.
    virtual ObxStatus collectionDescriptor(std::span<uint8_t> descriptor) = 0;
    // A NUL-terminated UTF-16 string into `buffer`.
    virtual ObxStatus string(HidString which, std::span<uint16_t> buffer) = 0;
    // The create of the class driver, passed on and completed synchronously.
    virtual ObxStatus create(FileObject file) = 0;
    virtual ObxStatus openReadTarget(FileObject file) = 0;
    // Cancels the read in flight, whose completion then reports OBX_STATUS_CANCELLED.
    virtual void closeReadTarget() = 0;
    // Reads one input report, in the class driver's form (report id byte first), into `buffer`.
    virtual ObxStatus sendRead(std::span<uint8_t> buffer, IReadCompletion& completion) = 0;
    // The device leaves and re-enters its working power state, the read target staying open: the read
    // in flight is cancelled and its completion waited for, and reads are refused until the target is
    // started again. A host without power states has nothing to stop.
    virtual void stopReads() {}
    virtual ObxStatus startReads() { return OBX_STATUS_SUCCESS; }
    // Reads the feature report whose id is `report[0]` into `report`, id byte first, synchronously.
    // A device below that passes on no feature requests fails it.
    virtual ObxStatus getFeature(std::span<uint8_t> report) {
        (void)report;
        return OBX_STATUS_NOT_SUPPORTED;
    }

protected:
    ~IHidDevice() = default;
};

// The mouse class driver's input record and service callback.
struct MouseInputData {
    uint16_t unitId = 0;
    uint16_t flags = 0;
    uint16_t buttonFlags = 0;
    int16_t buttonData = 0;
    uint32_t rawButtons = 0;
    int32_t lastX = 0;
    int32_t lastY = 0;
    uint32_t extraInformation = 0;
};

class IMouseClassService {
public:
    virtual void serviceCallback(std::span<const MouseInputData> packets) = 0;

protected:
    ~IMouseClassService() = default;
};

// The output of the class driver's attributes query.
struct MouseAttributes {
    uint16_t mouseIdentifier;
    uint16_t numberOfButtons;
    uint16_t sampleRate;
    uint32_t inputDataQueueLength;
};
static_assert(sizeof(MouseAttributes) == 12);

// Internal control codes of the mouse class driver's protocol.
inline constexpr uint32_t kMouseQueryAttributes = 0x000F0000;
inline constexpr uint32_t kMouseConnect = 0x000F0203; // its connect data is the host's to decode
inline constexpr uint32_t kMouseDisconnect = 0x000F0403;
inline constexpr uint32_t kMouseEnable = 0x000F0803;
inline constexpr uint32_t kMouseDisable = 0x000F1003;

// Button flags of a mouse input record.
inline constexpr uint16_t kMouseWheelFlag = 0x0400;
inline constexpr uint16_t kMouseHorizontalWheelFlag = 0x0800;
inline constexpr int32_t kWheelDelta = 120;

// A read on the control device that waits for a button event. The host owns it until it is completed;
// `link` belongs to the control device while the read waits in its queue.
class IPendingRead {
public:
    virtual FileObject file() const = 0;
    virtual std::span<uint8_t> buffer() = 0;
    virtual void complete(ObxStatus status, uint32_t information) = 0;
    // Called under the queue's lock as the read starts to wait, so that a host whose system cancels
    // single reads can let the cancel reach ControlDevice::cancelRead from now on. False when the read
    // was cancelled already: it is then completed as cancelled instead of waiting. A host that cancels
    // reads only by closing their handle has nothing to arm.
    virtual bool markCancelable() { return true; }

    IPendingRead* link = nullptr;

protected:
    ~IPendingRead() = default;
};

// The host's debug trace (a kernel host's trace provider, the daemon's log at debug level). Called
// from the report path, so it must neither allocate nor block for long.
class IDebugTrace {
public:
    // One step of the state machine `machine`; every text is static.
    virtual void transition(const char* machine, const char* from, const char* event, const char* to) = 0;
    // A fault the device does not recover from by itself, for the system's log; the text is static.
    virtual void error(const char* text) = 0;

protected:
    ~IDebugTrace() = default;
};

} // namespace obx::driver
