#pragma once

#include "driver/core/ControlTarget.h"
#include "driver/core/EventRing.h"
#include "driver/core/Framework.h"
#include "driver/shared/ObxControl.h"

#include <array>
#include <cstdint>
#include <span>

namespace obx::driver {

// The names under which the host presents a control device.
struct ControlDeviceIdentity {
    static constexpr const char* kDeviceId = "{4F1FD8B4-05A8-4E91-B42C-8942B49AE606}\\HLXOBX";
    static constexpr const char* kLocation = "Halvex Ombrix Driver";
    // The system's class for other devices.
    static constexpr OBX_GUID kRawDeviceClass = {
        0x4D36E97Eu, 0xE325u, 0x11CEu, {0xBFu, 0xC1u, 0x08u, 0x00u, 0x2Bu, 0xE1u, 0x03u, 0x18u}};
    static constexpr uint32_t kLocale = 0x409;

    explicit ControlDeviceIdentity(uint32_t instance);

    uint32_t instance;
    std::array<char, 16> instanceId{};  // "%02d"
    std::array<char, 24> description{}; // "Ombrix %02d"
};

// Locks the control device needs from the framework: its own, the ring's two, and one that keeps a
// registration and the close of the registered handle in order. The order of taking is registration,
// then the filter device's lock, then `device`.
struct ControlDeviceLocks {
    ILock& registration;
    ILock& device;
    ILock& ringStore;
    ILock& ringTake;
};

// The per-trackball control device: the control requests of the helper, the event ring and the queue
// of reads waiting for events, and the registration of the helper's handle.
class ControlDevice {
public:
    static constexpr size_t kEventCapacity = 32;

    ControlDevice(uint32_t instance, IControlTarget& target, const IClock& clock, ControlDeviceLocks locks);
    ControlDevice(const ControlDevice&) = delete;
    ControlDevice& operator=(const ControlDevice&) = delete;

    const ControlDeviceIdentity& identity() const { return identity_; }

    Completion deviceControl(FileObject file, uint32_t code, std::span<const uint8_t> input,
                             std::span<uint8_t> output);
    // Completes the read at once or queues it until an event comes.
    void read(IPendingRead& request);
    // Takes a waiting read off the queue for the host to complete as cancelled. False when it no longer
    // waits: an event or a cancellation has taken it, and its completion is under way.
    bool cancelRead(IPendingRead& request);
    void fileClose(FileObject file);
    // The removal query: waiting reads are cancelled, and so is every later one until the removal is
    // cancelled.
    void purgeReads();
    // The removal was cancelled: reads wait for events again.
    void resumeReads();

    // A button event for the helper.
    void postEvent(uint32_t pressed, uint32_t released);
    // A gesture event for the helper (OBX_GESTURE_EVENT), through the same ring: the two records are of
    // one size and told apart by their flags.
    void postGesture(uint32_t buttons, uint8_t direction, uint8_t steps);

private:
    Completion injectButtons(std::span<const uint8_t> input);
    Completion registerHelper(FileObject file);
    template <typename Record>
    void post(Record record);
    void drain();
    // Takes the reads of `file` (or all reads when null) off the queue into a list of their own.
    IPendingRead* unlinkReads(FileObject file);
    static void cancelAll(IPendingRead* list);

    ControlDeviceIdentity identity_;
    IControlTarget& target_;
    const IClock& clock_;
    ILock& registrationLock_;
    ILock& lock_;
    EventRing<sizeof(OBX_BUTTON_EVENT), kEventCapacity> ring_;
    IPendingRead* head_ = nullptr; // guarded by lock_
    IPendingRead* tail_ = nullptr;
    bool purged_ = false;
    FileObject registered_ = nullptr; // guarded by registrationLock_
};

} // namespace obx::driver
