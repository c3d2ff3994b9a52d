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

// Models whose reports need handling of their own, by product id.
inline constexpr DeviceModel kDeviceModels[] = {
    {0x0F21, ReportLayout::SplitButtonByte},
};

constexpr ReportLayout layoutFor(uint16_t productId) {
    for (const DeviceModel& model : kDeviceModels) {
        if (model.productId == productId)
            return model.layout;
    }
    return ReportLayout::Generic;
}

} // namespace obx::driver
