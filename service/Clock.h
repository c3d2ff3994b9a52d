#pragma once

// Time and waiting as the service's logic sees them, so that its minutes can
// pass in an instant under test.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace obx {

// Manual-reset: once set, it stays set.
class StopEvent {
public:
    void set();
    bool isSet() const;
    void wait() const;
    // Answers whether the event is set, at the latest after timeout.
    bool waitFor(std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool set_ = false;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point now() const = 0;
    // The calendar time: seconds since 1970-01-01 UTC.
    virtual std::int64_t secondsSinceEpoch() const = 0;
    // Sleeps for duration or until stop is set; answers whether it is set.
    virtual bool sleepUnlessStopped(std::chrono::milliseconds duration, const StopEvent& stop) = 0;
};

class SystemClock : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override;
    std::int64_t secondsSinceEpoch() const override;
    bool sleepUnlessStopped(std::chrono::milliseconds duration, const StopEvent& stop) override;
};

} // namespace obx
