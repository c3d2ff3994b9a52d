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
    // As getScaledUsageValue, but a value outside the logical range of a field without a null state is
    // clamped into it, as the kernel's input layer does. A parser that cannot clamp refuses the value,
    // which then loses that control only.
    virtual HidStatus getClampedScaledUsageValue(uint16_t usagePage, uint16_t usage,
                                                 std::span<const uint8_t> report, int32_t& value) const {
        return getScaledUsageValue(usagePage, usage, report, value);
    }

    // What the input reports declare: the highest usage of a page (buttons: how many the device has)
    // and whether a usage is there at all. A parser that cannot tell answers 0 and false: not known.
    virtual uint32_t highestUsage(uint16_t usagePage) const {
        (void)usagePage;
        return 0;
    }
    virtual bool declares(uint16_t usagePage, uint16_t usage) const {
        (void)usagePage, (void)usage;
        return false;
    }

    // Resolution Multipliers: the report ids of the feature reports that hold one (at most `ids.size()`,
    // the count returned), their contents as read from the device, and the effective multiplier of an
    // input control, 1 when none governs it. A parser that knows no feature controls finds none, and its
    // wheels count whole detents.
    virtual uint32_t multiplierReports(std::span<uint8_t> ids) const {
        (void)ids;
        return 0;
    }
    virtual void takeFeatureReport(std::span<const uint8_t> report) { (void)report; }
    virtual int32_t resolutionMultiplier(uint16_t usagePage, uint16_t usage,
                                         std::span<const uint8_t> report) const {
        (void)usagePage, (void)usage, (void)report;
        return 1;
    }
    // Usages of `previous` missing from `current` go to `breakList`, new ones to `makeList`; `length`
    // entries of each of the four lists are looked at.
    virtual HidStatus usageListDifference(std::span<const uint16_t> previous,
                                          std::span<const uint16_t> current, std::span<uint16_t> breakList,
                                          std::span<uint16_t> makeList, uint32_t length) const = 0;

protected:
    ~IHidParser() = default;
};

} // namespace obx::hid
