#pragma once

#include "driver/hid/HidParser.h"
#include "driver/hid/HidPreparsedData.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace obx::hid {

// The project's own parser behind the parser interface: the collection descriptor is a report
// descriptor, parsed into preparsed data of fixed size. Both live in the object, so nothing is allocated.
class ReportDescriptorParser final : public IHidParser {
public:
    static constexpr size_t kMaxDescriptorBytes = 4096;

    explicit ReportDescriptorParser(ExcessElements excess = ExcessElements::RepeatLastUsage)
        : excess_(excess) {}

    std::span<uint8_t> descriptorStorage(uint32_t size) override;
    HidStatus load(HidCaps& caps) override;
    void release() override;

    uint32_t maxUsageListLength(uint16_t usagePage) const override;
    HidStatus getUsages(uint16_t usagePage, std::span<const uint8_t> report, std::span<uint16_t> usages,
                        uint32_t& count) const override;
    HidStatus getScaledUsageValue(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report,
                                  int32_t& value) const override;
    HidStatus getClampedScaledUsageValue(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report,
                                         int32_t& value) const override;
    uint32_t highestUsage(uint16_t usagePage) const override;
    bool declares(uint16_t usagePage, uint16_t usage) const override;
    uint32_t multiplierReports(std::span<uint8_t> ids) const override;
    void takeFeatureReport(std::span<const uint8_t> report) override;
    int32_t resolutionMultiplier(uint16_t usagePage, uint16_t usage,
                                 std::span<const uint8_t> report) const override;
    HidStatus usageListDifference(std::span<const uint16_t> previous, std::span<const uint16_t> current,
                                  std::span<uint16_t> breakList, std::span<uint16_t> makeList,
                                  uint32_t length) const override;

    // The parsed descriptor, for tools and test doubles that model other parsers over it.
    const HidPreparsedData& parsed() const { return preparsed_; }

private:
    std::array<uint8_t, kMaxDescriptorBytes> descriptor_{};
    uint32_t descriptorSize_ = 0;
    HidPreparsedData preparsed_;
    ExcessElements excess_;
};

} // namespace obx::hid
