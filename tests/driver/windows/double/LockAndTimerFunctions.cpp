// The framework's spin locks, wait locks and timers, over the double's IRQL and clock.

#include "FrameworkState.h"
#include "Verifier.h"

namespace obx::kmdf_double {

namespace {

NTSTATUS spinLockCreate(Globals, PWDF_OBJECT_ATTRIBUTES attributes, WDFSPINLOCK* lock) {
    *lock = reinterpret_cast<WDFSPINLOCK>(
        makeObject<Lock>("WdfSpinLockCreate", attributes, state().driver, Kind::SpinLock));
    return STATUS_SUCCESS;
}

void spinLockAcquire(Globals, WDFSPINLOCK handle) {
    Lock* lock = as<Lock>(handle, Kind::SpinLock, "WdfSpinLockAcquire");
    Verifier::requireAtMost(kDispatchLevel, "WdfSpinLockAcquire");
    if (lock->held)
        Verifier::fatal("WdfSpinLockAcquire: " + lock->name + " taken again by its holder: a deadlock");
    lock->held = true;
    lock->irqlBefore = Verifier::irql();
    Verifier::setIrql(kDispatchLevel, "WdfSpinLockAcquire");
    Verifier::spinLockTaken();
}

void spinLockRelease(Globals, WDFSPINLOCK handle) {
    Lock* lock = as<Lock>(handle, Kind::SpinLock, "WdfSpinLockRelease");
    if (!lock->held)
        Verifier::fatal("WdfSpinLockRelease: " + lock->name + " is not held");
    lock->held = false;
    Verifier::spinLockReleased();
    Verifier::setIrql(lock->irqlBefore, "WdfSpinLockRelease");
}

NTSTATUS waitLockCreate(Globals, PWDF_OBJECT_ATTRIBUTES attributes, WDFWAITLOCK* lock) {
    *lock = reinterpret_cast<WDFWAITLOCK>(
        makeObject<Lock>("WdfWaitLockCreate", attributes, state().driver, Kind::WaitLock));
    return STATUS_SUCCESS;
}

NTSTATUS waitLockAcquire(Globals, WDFWAITLOCK handle, PLONGLONG timeout) {
    Lock* lock = as<Lock>(handle, Kind::WaitLock, "WdfWaitLockAcquire");
    if (timeout == nullptr || *timeout != 0)
        Verifier::requirePassive("WdfWaitLockAcquire");
    if (lock->held)
        Verifier::fatal("WdfWaitLockAcquire: " + lock->name + " taken again by its holder: a deadlock");
    lock->held = true;
    return STATUS_SUCCESS;
}

void waitLockRelease(Globals, WDFWAITLOCK handle) {
    Lock* lock = as<Lock>(handle, Kind::WaitLock, "WdfWaitLockRelease");
    if (!lock->held)
        Verifier::fatal("WdfWaitLockRelease: " + lock->name + " is not held");
    lock->held = false;
}

NTSTATUS timerCreate(Globals, PWDF_TIMER_CONFIG config, PWDF_OBJECT_ATTRIBUTES attributes, WDFTIMER* timer) {
    Verifier::requireAtMost(kDispatchLevel, "WdfTimerCreate");
    if (attributes == nullptr || attributes->ParentObject == nullptr)
        Verifier::violation("WdfTimerCreate: a timer needs a device or queue as its parent");
    *timer = reinterpret_cast<WDFTIMER>(makeObject<Timer>("WdfTimerCreate", attributes, nullptr, *config));
    return STATUS_SUCCESS;
}

BOOLEAN timerStart(Globals, WDFTIMER handle, LONGLONG dueTime) {
    Timer* timer = as<Timer>(handle, Kind::Timer, "WdfTimerStart");
    Verifier::requireAtMost(kDispatchLevel, "WdfTimerStart");
    if (dueTime > 0)
        Verifier::violation("WdfTimerStart: an absolute due time");
    const bool waiting = timer->dueMs.has_value();
    timer->dueMs = state().nowMs + static_cast<uint64_t>(-dueTime) / 10000;
    return waiting;
}

BOOLEAN timerStop(Globals, WDFTIMER handle, BOOLEAN wait) {
    Timer* timer = as<Timer>(handle, Kind::Timer, "WdfTimerStop");
    if (wait)
        Verifier::requirePassive("WdfTimerStop (waiting)");
    else
        Verifier::requireAtMost(kDispatchLevel, "WdfTimerStop");
    const bool waiting = timer->dueMs.has_value();
    timer->dueMs.reset();
    return waiting;
}

} // namespace

void Lock::deleting() {
    if (held)
        Verifier::violation(name + " deleted while held");
}

void installLockAndTimerFunctions(WDFFUNC* t) {
    install<PFN_WDFSPINLOCKCREATE>(t, WdfSpinLockCreateTableIndex, spinLockCreate);
    install<PFN_WDFSPINLOCKACQUIRE>(t, WdfSpinLockAcquireTableIndex, spinLockAcquire);
    install<PFN_WDFSPINLOCKRELEASE>(t, WdfSpinLockReleaseTableIndex, spinLockRelease);
    install<PFN_WDFWAITLOCKCREATE>(t, WdfWaitLockCreateTableIndex, waitLockCreate);
    install<PFN_WDFWAITLOCKACQUIRE>(t, WdfWaitLockAcquireTableIndex, waitLockAcquire);
    install<PFN_WDFWAITLOCKRELEASE>(t, WdfWaitLockReleaseTableIndex, waitLockRelease);
    install<PFN_WDFTIMERCREATE>(t, WdfTimerCreateTableIndex, timerCreate);
    install<PFN_WDFTIMERSTART>(t, WdfTimerStartTableIndex, timerStart);
    install<PFN_WDFTIMERSTOP>(t, WdfTimerStopTableIndex, timerStop);
}

} // namespace obx::kmdf_double
