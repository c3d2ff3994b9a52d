#pragma once

// The framework's lock and clock for a user-space host.

#include "driver/core/Framework.h"

#include <ctime>
#include <mutex>

namespace obx::kernd {

class MutexLock final : public driver::ILock {
public:
    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

// Time since the system started, suspended time included.
class BootClock final : public driver::IClock {
public:
    uint64_t uptimeMilliseconds() const override {
        timespec now{};
        ::clock_gettime(CLOCK_BOOTTIME, &now);
        return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
    }
};

} // namespace obx::kernd
