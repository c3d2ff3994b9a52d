#include "driver/hid/ReportDescriptorParser.h"

#include "driver/hid/HidDescriptorParser.h"
#include "driver/hid/UsageListDifference.h"

namespace obx::hid {

std::span<uint8_t> ReportDescriptorParser::descriptorStorage(uint32_t size) {
    descriptorSize_ = 0;
    if (size > descriptor_.size())
        return {};
    descriptorSize_ = size;
    return std::span(descriptor_.data(), size);
}

HidStatus ReportDescriptorParser::load(HidCaps& caps) {
    const HidStatus status =
        HidDescriptorParser::parse(std::span(descriptor_.data(), descriptorSize_), preparsed_);
    if (status == HidStatus::Success)
        caps = preparsed_.caps();
    return status;
}

void ReportDescriptorParser::release() {
    descriptorSize_ = 0;
    preparsed_.clear();
}

uint32_t ReportDescriptorParser::maxUsageListLength(uint16_t usagePage) const {
    return preparsed_.maxUsageListLength(usagePage);
}

HidStatus ReportDescriptorParser::getUsages(uint16_t usagePage, std::span<const uint8_t> report,
                                            std::span<uint16_t> usages, uint32_t& count) const {
    return preparsed_.getUsages(usagePage, report, usages, count, excess_);
}

HidStatus ReportDescriptorParser::getScaledUsageValue(uint16_t usagePage, uint16_t usage,
                                                      std::span<const uint8_t> report, int32_t& value) const {
    return preparsed_.getScaledUsageValue(usagePage, usage, report, value);
}

HidStatus ReportDescriptorParser::getClampedScaledUsageValue(uint16_t usagePage, uint16_t usage,
                                                             std::span<const uint8_t> report,
                                                             int32_t& value) const {
    return preparsed_.getClampedScaledUsageValue(usagePage, usage, report, value);
}

uint32_t ReportDescriptorParser::highestUsage(uint16_t usagePage) const {
    return preparsed_.highestUsage(usagePage);
}

bool ReportDescriptorParser::declares(uint16_t usagePage, uint16_t usage) const {
    return preparsed_.declares(usagePage, usage);
}

uint32_t ReportDescriptorParser::multiplierReports(std::span<uint8_t> ids) const {
    return preparsed_.multiplierReports(ids);
}

void ReportDescriptorParser::takeFeatureReport(std::span<const uint8_t> report) {
    preparsed_.takeFeatureReport(report);
}

int32_t ReportDescriptorParser::resolutionMultiplier(uint16_t usagePage, uint16_t usage,
                                                     std::span<const uint8_t> report) const {
    return preparsed_.resolutionMultiplier(usagePage, usage, report);
}

HidStatus ReportDescriptorParser::usageListDifference(std::span<const uint16_t> previous,
                                                      std::span<const uint16_t> current,
                                                      std::span<uint16_t> breakList,
                                                      std::span<uint16_t> makeList, uint32_t length) const {
    return hid::usageListDifference(previous, current, breakList, makeList, length)
               ? HidStatus::Success
               : HidStatus::BufferTooSmall;
}

} // namespace obx::hid
