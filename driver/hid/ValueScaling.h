#pragma once

// How a control's logical value becomes the value the driver uses, for every parser the driver runs
// on: the project's own and the binding of the system's. Header-only: the kernel image links no
// source of driver/hid.

#include "driver/hid/HidTypes.h"

#include <cstdint>

namespace obx::hid {

// The logical and physical extents of a control. A physical range of 0 to 0 is not declared and
// stands for the logical one.
struct ValueRange {
    int32_t logicalMin = 0;
    int32_t logicalMax = 0;
    int32_t physicalMin = 0;
    int32_t physicalMax = 0;
};

// What becomes of a value outside the logical range of a control without a null state: refused, as
// the system's parser does, or clamped into the range, as the kernel's input layer does.
enum class OutOfRange : uint8_t { Refuse, Clamp };

// The physical value of `logical` (already sign-extended where the range is signed).
inline HidStatus scaleValue(int64_t logical, const ValueRange& range, bool hasNullState,
                            OutOfRange outOfRange, int32_t& value) {
    int64_t physMin = range.physicalMin;
    int64_t physMax = range.physicalMax;
    if (physMin == 0 && physMax == 0) {
        physMin = range.logicalMin;
        physMax = range.logicalMax;
    }
    if (range.logicalMin >= range.logicalMax || physMin >= physMax)
        return HidStatus::BadLogPhyValues;
    if (logical < range.logicalMin || logical > range.logicalMax) {
        if (hasNullState)
            return HidStatus::Null;
        if (outOfRange == OutOfRange::Refuse)
            return HidStatus::ValueOutOfRange;
        logical = logical < range.logicalMin ? range.logicalMin : range.logicalMax;
    }
    // Both ranges span at most 2^32, so the product fits in 64 unsigned bits.
    const uint64_t offset = static_cast<uint64_t>(logical - range.logicalMin);
    const uint64_t physRange = static_cast<uint64_t>(physMax - physMin);
    const uint64_t logRange = static_cast<uint64_t>(int64_t{range.logicalMax} - range.logicalMin);
    value = static_cast<int32_t>(physMin + static_cast<int64_t>(offset * physRange / logRange));
    return HidStatus::Success;
}

} // namespace obx::hid
