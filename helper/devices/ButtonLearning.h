#pragma once

// Which trackballs, by configuration id, are learning their buttons for the
// configuration page, and until when. One learn per configuration id, so
// the table is never longer than the trackballs present.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace obx {

class ButtonLearning {
public:
    using Clock = std::chrono::steady_clock;

    // True when device was not learning yet; a renewal only moves its end.
    bool start(std::uint16_t device, Clock::time_point end);
    // True when device was learning.
    bool stop(std::uint16_t device);
    bool learning(std::uint16_t device) const { return ends_.contains(device); }
    // Stops and answers those whose end has come by now.
    std::vector<std::uint16_t> takeEnded(Clock::time_point now);
    // Stops and answers every one.
    std::vector<std::uint16_t> takeAll();
    // The time from now to the next end; nothing while none learns.
    std::optional<std::chrono::milliseconds> untilNextEnd(Clock::time_point now) const;

private:
    std::map<std::uint16_t, Clock::time_point> ends_;
};

} // namespace obx
