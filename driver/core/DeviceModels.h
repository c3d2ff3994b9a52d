#pragma once

#include <cstdint>

namespace obx::driver {

enum class ReportLayout : uint8_t {
    Generic,
    // Six-byte reports that carry two of the buttons in the low bits of byte 5.
    SplitButtonByte,
};

struct DeviceModel {
    uint16_t productId;
    ReportLayout layout;
};

// The project's own neutral ids of the models served, the one table from which the Windows INF takes its
// hardware ids (the kernel check compares them). 0xFFFF is a vendor id assigned to no vendor: a release
// for real devices puts the maker's ids here.
inline constexpr uint16_t kVendorId = 0xFFFF;
inline constexpr DeviceModel kDeviceModels[] = {
    {0x0F21, ReportLayout::SplitButtonByte},
    {0x0F22, ReportLayout::Generic},
    {0x0F23, ReportLayout::Generic},
};

constexpr ReportLayout layoutFor(uint16_t productId) {
    for (const DeviceModel& model : kDeviceModels) {
        if (model.productId == productId)
            return model.layout;
    }
    return ReportLayout::Generic;
}

} // namespace obx::driver
