#pragma once

// What a report descriptor says about a pointing device that the daemon may be asked to serve: whether
// it is one (a Generic Desktop Mouse or Pointer application collection), the buttons, wheel and pan that
// it declares, and why the driver could not serve it, if it could not.

#include <cstdint>
#include <span>
#include <string>

namespace obx::kernd {

struct PointingSummary {
    bool pointing = false;
    uint32_t buttons = 0; // the highest Button usage of its input reports
    bool wheel = false;
    bool pan = false;
    std::string unservable; // empty when the driver can serve it

    static PointingSummary of(std::span<const uint8_t> descriptor);
    // "5 buttons, wheel, pan", and the reason when it cannot be served.
    std::string describe() const;
};

} // namespace obx::kernd
