#pragma once

// Mouse packets of the class-driver seam as evdev events: the button transitions, the relative motion
// and the wheels, closed by one SYN_REPORT. The wheels go out in high resolution (120 a notch, the
// packet's own unit) and in notches, whose remainder is carried to the next packet so that partial
// steps add up as they do on a high-resolution mouse.

#include "driver/core/Framework.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace obx::kernd {

struct EvdevEvent {
    uint16_t type = 0;
    uint16_t code = 0;
    int32_t value = 0;
};

class EvdevPacketTranslator {
public:
    // Five buttons with a press and a release each, four motion and wheel pairs, and the report.
    static constexpr size_t kMaxEvents = 10 + 6 + 1;
    using Events = std::array<EvdevEvent, kMaxEvents>;

    // The events of one packet, in `out`; the returned span ends with the SYN_REPORT. Allocates nothing.
    std::span<const EvdevEvent> translate(const driver::MouseInputData& packet, Events& out);

private:
    int32_t verticalRemainder_ = 0;
    int32_t horizontalRemainder_ = 0;
};

} // namespace obx::kernd
