#pragma once

// The pointing devices present that the daemon does not serve, as the hardware watch finds them.

#include "PointingSummary.h"

#include <cstdint>
#include <string>

namespace obx::kernd {

struct UnservedDevice {
    std::string syspath; // of its hidraw node: what identifies it until it leaves
    uint16_t bus = 0;
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string serial; // empty: it reports none
    std::string name;
    PointingSummary summary;
};

// Choosing a device to be served, and letting it go, by its ids and its serial (empty: by its ids
// alone): answers "ok" or "error: WHY".
class IDeviceChoice {
public:
    virtual ~IDeviceChoice() = default;
    virtual std::string take(uint16_t vendor, uint16_t product, const std::string& serial) = 0;
    virtual std::string release(uint16_t vendor, uint16_t product, const std::string& serial) = 0;
};

class IUnservedDevices {
public:
    virtual ~IUnservedDevices() = default;
    virtual void present(const UnservedDevice& device) = 0;
    virtual void gone(const std::string& syspath) = 0;
};

} // namespace obx::kernd
