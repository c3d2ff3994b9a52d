#pragma once

// The system's HID parser behind the core's parser interface: the collection descriptor is the
// preparsed data that the HID class hands out, kept in non-paged framework memory of the device.

#include "HidpLayout.h"
#include "KernelHeaders.h"
#include "driver/hid/HidParser.h"

namespace obx::windows {

class HidpParser final : public hid::IHidParser {
public:
    explicit HidpParser(WDFDEVICE device) : device_(device) {}

    std::span<uint8_t> descriptorStorage(uint32_t size) override;
    hid::HidStatus load(hid::HidCaps& caps) override;
    void release() override;

    uint32_t maxUsageListLength(uint16_t usagePage) const override;
    hid::HidStatus getUsages(uint16_t usagePage, std::span<const uint8_t> report, std::span<uint16_t> usages,
                             uint32_t& count) const override;
    hid::HidStatus getScaledUsageValue(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report,
                                       int32_t& value) const override;
    hid::HidStatus getClampedScaledUsageValue(uint16_t usagePage, uint16_t usage,
                                              std::span<const uint8_t> report, int32_t& value) const override;
    uint32_t highestUsage(uint16_t usagePage) const override;
    bool declares(uint16_t usagePage, uint16_t usage) const override;
    // The feature reports are not read: Windows has set each multiplier to its maximum (HidpLayout).
    int32_t resolutionMultiplier(uint16_t usagePage, uint16_t usage,
                                 std::span<const uint8_t> report) const override;
    hid::HidStatus usageListDifference(std::span<const uint16_t> previous, std::span<const uint16_t> current,
                                       std::span<uint16_t> breakList, std::span<uint16_t> makeList,
                                       uint32_t length) const override;

private:
    hid::HidStatus scaledValue(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report,
                               hid::OutOfRange outOfRange, int32_t& value) const;

    WDFDEVICE device_;
    WDFMEMORY memory_ = nullptr;
    PHIDP_PREPARSED_DATA preparsed_ = nullptr;
    HidpLayout layout_;
};

} // namespace obx::windows
