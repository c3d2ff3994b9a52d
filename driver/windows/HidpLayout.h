#pragma once

// What the system's HID parser tells of a collection's controls, read once as the device starts (the
// capability routines run at passive level) into tables of fixed size, which the report path then
// reads at any level: the usages of the input reports, and the value controls with their ranges and
// Resolution Multipliers.

#include "KernelHeaders.h"
#include "driver/hid/ResolutionMultiplier.h"
#include "driver/hid/ValueScaling.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace obx::windows {

// A value control of the input reports: one usage or a range of them in one report.
struct HidpValueControl {
    uint16_t page = 0;
    uint16_t usageMin = 0;
    uint16_t usageMax = 0;
    uint8_t reportId = 0;
    uint8_t bitSize = 0;
    bool hasNull = false;
    uint8_t collection = hid::CollectionNode::kNone;
    hid::ValueRange range;
    int32_t multiplier = 1;
};

class HidpLayout {
public:
    // Bounds of the tables; a collection with more is served with what fits (its capabilities then
    // stay unknown, its values unclamped, its wheels in whole detents).
    static constexpr size_t kMaxCaps = 256;
    static constexpr size_t kMaxCollections = 128;
    static constexpr size_t kMaxUsageRanges = 32;
    static constexpr size_t kMaxValueControls = 32;

    // Reads the capabilities of `preparsed`, at passive level. The caps are fetched into framework
    // memory of `device`, freed before the call returns; without it the layout stays unknown.
    void read(WDFDEVICE device, PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps);
    void clear();

    // The highest usage of the page in the input reports, and whether the usage is in them; 0 and
    // false when the collection has more controls than the tables hold: not known.
    uint32_t highestUsage(uint16_t usagePage) const;
    bool declares(uint16_t usagePage, uint16_t usage) const;
    // The value control of the usage in the input report of this id; null when there is none.
    const HidpValueControl* valueControl(uint16_t usagePage, uint16_t usage, uint8_t reportId) const;

private:
    struct UsageRange {
        uint16_t page = 0;
        uint16_t min = 0;
        uint16_t max = 0;
    };

    void addRange(uint16_t page, uint16_t min, uint16_t max);
    void readButtons(PHIDP_PREPARSED_DATA preparsed, void* scratch, USHORT count);
    void readValues(PHIDP_PREPARSED_DATA preparsed, void* scratch, USHORT count);
    // The collection tree and the multipliers of the feature reports: each value control in a
    // multiplier's reach counts in fractions of a detent.
    void applyMultipliers(PHIDP_PREPARSED_DATA preparsed, void* scratch, USHORT featureValues, USHORT nodes);

    std::array<UsageRange, kMaxUsageRanges> ranges_{};
    size_t rangeCount_ = 0;
    bool complete_ = false;
    std::array<HidpValueControl, kMaxValueControls> values_{};
    size_t valueCount_ = 0;
};

} // namespace obx::windows
