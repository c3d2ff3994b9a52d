#include "platform/linux/wayland/KeyRepeat.h"

#include <algorithm>

namespace obx::wayland {

namespace {

constexpr std::int32_t fastestRate = 1000;
constexpr std::int32_t longestDelay = 10000;

} // namespace

void KeyRepeat::configure(std::int32_t rate, std::int32_t delay) {
    interval_ = std::chrono::milliseconds(rate > 0 ? 1000 / std::min(rate, fastestRate) : 0);
    delay_ = std::chrono::milliseconds(std::clamp(delay, 0, longestDelay));
    if (interval_.count() == 0) {
        held_.reset();
    }
}

void KeyRepeat::press(std::uint32_t key, Clock::time_point now) {
    if (interval_.count() == 0) {
        return;
    }
    held_ = key;
    next_ = now + delay_;
}

void KeyRepeat::release(std::uint32_t key) {
    if (held_ == key) {
        held_.reset();
    }
}

std::optional<KeyRepeat::Clock::time_point> KeyRepeat::due() const {
    if (!held_) {
        return std::nullopt;
    }
    return next_;
}

std::optional<std::uint32_t> KeyRepeat::take(Clock::time_point now) {
    if (!held_ || now < next_) {
        return std::nullopt;
    }
    next_ += interval_;
    // A caller that fell behind repeats once, not in a burst.
    if (next_ < now) {
        next_ = now + interval_;
    }
    return held_;
}

} // namespace obx::wayland
