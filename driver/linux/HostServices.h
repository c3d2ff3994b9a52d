#pragma once

// The framework's lock, clock and debug trace for a user-space host.

#include "Log.h"
#include "driver/core/Framework.h"

#include <cstdint>
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

// The driver's state machine steps as debug records of the daemon's log, per trackball.
class LogTrace final : public driver::IDebugTrace {
public:
    explicit LogTrace(uint32_t instance) : instance_(instance) {}
    void transition(const char* machine, const char* from, const char* event, const char* to) override {
        if (logEnabled(LogLevel::debug))
            logf(LogLevel::debug, "trackball %02u: %s: %s -> %s -> %s", instance_, machine, from, event, to);
    }
    void error(const char* text) override { logf(LogLevel::error, "trackball %02u: %s", instance_, text); }

private:
    uint32_t instance_;
};

} // namespace obx::kernd
