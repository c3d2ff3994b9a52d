#pragma once

#include "driver/hid/HidPreparsedData.h"
#include "driver/hid/HidTypes.h"

#include <cstdint>
#include <span>

namespace obx::hid {

// Turns a report descriptor into preparsed data. A descriptor that is malformed, that describes reports
// longer than the parser serves or that needs more table space than it has is rejected as a whole.
class HidDescriptorParser {
public:
    static HidStatus parse(std::span<const uint8_t> descriptor, HidPreparsedData& out);
};

} // namespace obx::hid
