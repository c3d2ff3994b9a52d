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

private:
    WDFTIMER timer_ = nullptr;
};

} // namespace obx::windows
