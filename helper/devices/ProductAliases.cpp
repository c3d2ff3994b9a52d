#include "devices/ProductAliases.h"

#include <array>

namespace obx {

namespace {

struct ProductAlias {
    std::uint16_t reportedId;
    std::uint16_t configurationId;
    const char* label;
};

constexpr std::array<ProductAlias, 3> productAliases{{
    {0x2041, 0x1041, "model 41, wireless"},
    {0x2042, 0x1042, "model 42, wireless"},
    {0x2047, 0x1047, "model 47, wireless"},
}};

} // namespace

ProductIdentity identifyProduct(std::uint16_t reportedId) {
    for (const auto& alias : productAliases) {
        if (alias.reportedId == reportedId) {
            return {alias.configurationId, reportedId, DeviceInterfaceKind::bluetooth};
        }
    }
    return {reportedId, reportedId, DeviceInterfaceKind::usb};
}

} // namespace obx
