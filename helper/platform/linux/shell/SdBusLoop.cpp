#include "platform/linux/shell/SdBusLoop.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace obx::linuxos {

pollfd busDescriptor(sd_bus* bus) {
    return {sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0};
}

int busTimeoutMs(sd_bus* bus) {
    std::uint64_t until = 0;
    if (sd_bus_get_timeout(bus, &until) < 0 || until == UINT64_MAX) {
        return -1;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t nowUs =
        static_cast<std::uint64_t>(now.tv_sec) * 1000000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
    constexpr std::uint64_t longest = 60000;
    return until <= nowUs ? 0 : static_cast<int>(std::min(longest, (until - nowUs + 999) / 1000));
}

const char* busErrorText(const sd_bus_error& error, int result) {
    return error.message ? error.message : std::strerror(-result);
}

bool processBus(sd_bus* bus) {
    int result;
    do {
        result = sd_bus_process(bus, nullptr);
    } while (result > 0);
    return result >= 0;
}

} // namespace obx::linuxos
