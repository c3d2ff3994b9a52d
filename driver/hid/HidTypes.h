#pragma once

#include <cstdint>

namespace obx::hid {

// Results of the parser's operations, one for each failure that the system's parser documents for the
// operations the driver uses.
enum class HidStatus : uint8_t {
    Success,
    InvalidDescriptor,
    InvalidReportLength,
    IncompatibleReportId,
    UsageNotFound,
    BufferTooSmall,
    Null,
    ValueOutOfRange,
    BadLogPhyValues,
};

enum class ReportType : uint8_t { Input = 0, Output = 1, Feature = 2 };

inline constexpr uint16_t kPageGenericDesktop = 0x01;
inline constexpr uint16_t kPageButton = 0x09;
inline constexpr uint16_t kPageConsumer = 0x0C;

inline constexpr uint16_t kUsageX = 0x30;
inline constexpr uint16_t kUsageY = 0x31;
inline constexpr uint16_t kUsageWheel = 0x38;
inline constexpr uint16_t kUsageAcPan = 0x238;

struct HidCaps {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    // Lengths include the leading report-id byte, which is 0 when the device uses no report ids.
    uint16_t inputReportByteLength = 0;
    uint16_t outputReportByteLength = 0;
    uint16_t featureReportByteLength = 0;
};

} // namespace obx::hid
