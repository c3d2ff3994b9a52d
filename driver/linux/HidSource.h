#pragma once

// Where a trackball's HID collection comes from: its identity and its input reports. The virtual
// trackball is one; a device node of a real trackball is another.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace obx::kernd {

struct HidIdentity {
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
    std::vector<uint8_t> descriptor;
    std::u16string product;
    std::u16string serialNumber;
};

class IReportSink {
public:
    virtual ~IReportSink() = default;
    // One input report as the device sends it: a report-id byte first only when the device uses ids.
    virtual void onReport(std::span<const uint8_t> report) = 0;
};

class HidSource {
public:
    virtual ~HidSource() = default;
    virtual const HidIdentity& identity() const = 0;
    // Reports go to `sink` from now on; before, they are dropped.
    virtual void attach(IReportSink& sink) = 0;
    // The feature report whose id is `report[0]`, id byte first; false when it cannot be had.
    virtual bool getFeature(std::span<uint8_t> report) {
        (void)report;
        return false;
    }
};

} // namespace obx::kernd
