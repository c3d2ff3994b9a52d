#include "service/Clock.h"

namespace obx {

void StopEvent::set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

bool StopEvent::isSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

void StopEvent::wait() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return set_; });
}

bool StopEvent::waitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return set_; });
}

std::chrono::steady_clock::time_point SystemClock::now() const {
    return std::chrono::steady_clock::now();
}

std::int64_t SystemClock::secondsSinceEpoch() const {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool SystemClock::sleepUnlessStopped(std::chrono::milliseconds duration, const StopEvent& stop) {
    return stop.waitFor(duration);
}

} // namespace obx
