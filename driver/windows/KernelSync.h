#pragma once

// The framework's locks and the system's tick count behind the driver core's lock and clock.

#include "KernelHeaders.h"
#include "driver/core/Framework.h"

#include <cstdint>

namespace obx::windows {

// Raises to dispatch level while held: for state that report processing and timers share.
class SpinLock final : public driver::ILock {
public:
    NTSTATUS create(WDFOBJECT parent);
    void lock() override { WdfSpinLockAcquire(lock_); }
    void unlock() override { WdfSpinLockRelease(lock_); }

private:
    WDFSPINLOCK lock_ = nullptr;
};

// May sleep while it waits: for work at passive level that itself may sleep.
class WaitLock final : public driver::ILock {
public:
    NTSTATUS create(WDFOBJECT parent);
    void lock() override { WdfWaitLockAcquire(lock_, nullptr); }
    void unlock() override { WdfWaitLockRelease(lock_); }

private:
    WDFWAITLOCK lock_ = nullptr;
};

// Milliseconds since the system started, from the tick count as the helper's events carry it.
class TickClock final : public driver::IClock {
public:
    uint64_t uptimeMilliseconds() const override;
};

} // namespace obx::windows
