#pragma once

// A held key repeated as the compositor asks (wl_keyboard.repeat_info): on
// Wayland every client repeats keys itself. Pure logic over a clock the
// caller reads.

#include <chrono>
#include <cstdint>
#include <optional>

namespace obx::wayland {

class KeyRepeat {
public:
    using Clock = std::chrono::steady_clock;

    // rate: repeats a second, 0 for none; delay: before the first repeat.
    // Values beyond any keyboard's are bounded.
    void configure(std::int32_t rate, std::int32_t delay);
    // A key that repeats went down: it repeats until released or another
    // key goes down.
    void press(std::uint32_t key, Clock::time_point now);
    void release(std::uint32_t key);
    void stop() { held_.reset(); }

    // When the next repeat is due; nothing when no key repeats.
    std::optional<Clock::time_point> due() const;
    // The key to repeat once when one is due at now, moving on to the next.
    std::optional<std::uint32_t> take(Clock::time_point now);

private:
    std::chrono::milliseconds interval_{0};
    std::chrono::milliseconds delay_{0};
    std::optional<std::uint32_t> held_;
    Clock::time_point next_;
};

} // namespace obx::wayland
