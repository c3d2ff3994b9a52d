#include "KernelSync.h"

namespace obx::windows {

namespace {

WDF_OBJECT_ATTRIBUTES childOf(WDFOBJECT parent) {
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = parent;
    return attributes;
}

} // namespace

NTSTATUS SpinLock::create(WDFOBJECT parent) {
    WDF_OBJECT_ATTRIBUTES attributes = childOf(parent);
    return WdfSpinLockCreate(&attributes, &lock_);
}

NTSTATUS WaitLock::create(WDFOBJECT parent) {
    WDF_OBJECT_ATTRIBUTES attributes = childOf(parent);
    return WdfWaitLockCreate(&attributes, &lock_);
}

uint64_t TickClock::uptimeMilliseconds() const {
    LARGE_INTEGER ticks;
    KeQueryTickCount(&ticks);
    // Ticks of 100-nanosecond increments: the product stays far inside 64 bits for centuries of uptime.
    return static_cast<uint64_t>(ticks.QuadPart) * KeQueryTimeIncrement() / 10000;
}

} // namespace obx::windows
