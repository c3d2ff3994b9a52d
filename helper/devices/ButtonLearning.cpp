#include "devices/ButtonLearning.h"

#include <algorithm>

namespace obx {

bool ButtonLearning::start(std::uint16_t device, Clock::time_point end) {
    return ends_.insert_or_assign(device, end).second;
}

bool ButtonLearning::stop(std::uint16_t device) {
    return ends_.erase(device) != 0;
}

std::vector<std::uint16_t> ButtonLearning::takeEnded(Clock::time_point now) {
    std::vector<std::uint16_t> ended;
    std::erase_if(ends_, [&](const auto& entry) {
        if (entry.second > now) {
            return false;
        }
        ended.push_back(entry.first);
        return true;
    });
    return ended;
}

std::vector<std::uint16_t> ButtonLearning::takeAll() {
    return takeEnded(Clock::time_point::max());
}

std::optional<std::chrono::milliseconds> ButtonLearning::untilNextEnd(Clock::time_point now) const {
    if (ends_.empty()) {
        return std::nullopt;
    }
    const auto next = std::min_element(ends_.begin(), ends_.end(), [](const auto& a, const auto& b) {
                          return a.second < b.second;
                      })->second;
    // Rounded up, so that the timer never fires before the end; at least 1 ms, as a timer takes.
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(next - now), std::chrono::milliseconds(1));
}

} // namespace obx
