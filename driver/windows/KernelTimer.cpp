#include "KernelTimer.h"

namespace obx::windows {

struct TimerContext {
    driver::FilterDevice* target;
    uint32_t id;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(TimerContext, timerContextOf)

namespace {

EVT_WDF_TIMER timerExpired;

void timerExpired(WDFTIMER timer) {
    const TimerContext* context = timerContextOf(timer);
    context->target->timerFired(context->id);
}

} // namespace

NTSTATUS KernelTimer::create(WDFDEVICE device, driver::FilterDevice& target, uint32_t id, uint32_t periodMs) {
    WDF_TIMER_CONFIG config;
    if (periodMs == 0)
        WDF_TIMER_CONFIG_INIT(&config, timerExpired);
    else
        WDF_TIMER_CONFIG_INIT_PERIODIC(&config, timerExpired, periodMs);
    // The core takes its own locks; the framework must not serialise the timer with the device.
    config.AutomaticSerialization = FALSE;
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, TimerContext);
    attributes.ParentObject = device;
    const NTSTATUS status = WdfTimerCreate(&config, &attributes, &timer_);
    if (NT_SUCCESS(status))
        *timerContextOf(timer_) = TimerContext{&target, id};
    return status;
}

bool KernelTimer::start(uint32_t milliseconds) {
    armed_ = true;
    return WdfTimerStart(timer_, WDF_REL_TIMEOUT_IN_MS(milliseconds)) != FALSE;
}

void KernelTimer::stop() {
    armed_ = false;
    WdfTimerStop(timer_, FALSE);
}

bool KernelTimer::tickWanted() {
    return armed_;
}

} // namespace obx::windows
