#pragma once

// Models whose wireless version reports a product id of its own while their
// settings are kept under the id of the wired version.

#include "devices/IObxDevice.h"

#include <cstdint>

namespace obx {

struct ProductIdentity {
    std::uint16_t id;     // configuration id
    std::uint16_t realId; // as reported
    DeviceInterfaceKind interfaceKind;
};

ProductIdentity identifyProduct(std::uint16_t reportedId);

} // namespace obx
