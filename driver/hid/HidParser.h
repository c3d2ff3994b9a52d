#pragma once

#include "driver/hid/HidTypes.h"

#include <cstdint>
#include <span>

namespace obx::hid {

// The HID parser's operations over one collection, as report processing uses them. The collection
// descriptor is whatever the device below hands out: a report descriptor for the project's own parser,
// the system's opaque preparsed data on Windows. Reports are in the class driver's form: report id first.
class IHidParser {
public:
    // Room for a collection descriptor of `size` bytes, for the device below to fill; empty when none can
    // be had. Storage handed out earlier is given up.
    virtual std::span<uint8_t> descriptorStorage(uint32_t size) = 0;
    // Takes the filled descriptor into use and reports the collection's capabilities.
    virtual HidStatus load(HidCaps& caps) = 0;
    // Drops the descriptor and its storage.
    virtual void release() = 0;

    // The largest number of usages of the page that one input report can carry.
    virtual uint32_t maxUsageListLength(uint16_t usagePage) const = 0;
    // Usages of the page that are on in the report; `count` receives how many.
    virtual HidStatus getUsages(uint16_t usagePage, std::span<const uint8_t> report,
                                std::span<uint16_t> usages, uint32_t& count) const = 0;
    virtual HidStatus getScaledUsageValue(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report,
                                          int32_t& value) const = 0;
    // Usages of `previous` missing from `current` go to `breakList`, new ones to `makeList`; `length`
    // entries of each of the four lists are looked at.
    virtual HidStatus usageListDifference(std::span<const uint16_t> previous,
                                          std::span<const uint16_t> current, std::span<uint16_t> breakList,
                                          std::span<uint16_t> makeList, uint32_t length) const = 0;

protected:
    ~IHidParser() = default;
};

} // namespace obx::hid
