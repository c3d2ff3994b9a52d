#pragma once

// The core's three timers as framework timers of the filter device.

#include "KernelHeaders.h"
#include "driver/core/FilterDevice.h"

#include <cstdint>

namespace obx::windows {

class KernelTimer final : public driver::ITimer {
public:
    // A timer of the device that calls `target.timerFired(id)`, every `periodMs` when that is not 0.
    NTSTATUS create(WDFDEVICE device, driver::FilterDevice& target, uint32_t id, uint32_t periodMs);

    bool start(uint32_t milliseconds) override;
    void stop() override;
    bool tickWanted() override;

private:
    WDFTIMER timer_ = nullptr;
    // Set by a start and cleared by a stop, both under the device lock. A stop may come at dispatch
    // level or from the tick itself, where it cannot wait for a tick already queued: that tick finds
    // the flag cleared and is dropped. (A tick queued before a restart still runs: the core takes a
    // window that ends early.)
    bool armed_ = false;
};

} // namespace obx::windows
