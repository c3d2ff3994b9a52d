// Any byte string as a report descriptor, and, when it parses, the same bytes as an input report and as
// a feature report.

#include "driver/hid/HidDescriptorParser.h"
#include "driver/hid/UsageListDifference.h"

#include <array>
#include <cstddef>
#include <cstdint>

using namespace obx::hid;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static HidPreparsedData parsed;
    if (HidDescriptorParser::parse(std::span(data, size), parsed) != HidStatus::Success)
        return 0;
    const std::span<const uint8_t> report(
        data, size < parsed.caps().inputReportByteLength ? size : parsed.caps().inputReportByteLength);
    std::array<uint16_t, 64> usages{};
    uint32_t count = 0;
    parsed.getUsages(kPageButton, report, usages, count);
    std::array<uint16_t, 64> none{};
    std::array<uint16_t, 64> brk{};
    std::array<uint16_t, 64> make{};
    usageListDifference(none, usages, brk, make, 64);
    int32_t value = 0;
    for (uint16_t usage : {kUsageX, kUsageY, kUsageWheel}) {
        parsed.getScaledUsageValue(kPageGenericDesktop, usage, report, value);
        parsed.getClampedScaledUsageValue(kPageGenericDesktop, usage, report, value);
    }
    parsed.getScaledUsageValue(kPageConsumer, kUsageAcPan, report, value);
    (void)parsed.maxUsageListLength(kPageButton);
    (void)parsed.highestUsage(kPageButton);
    (void)parsed.declares(kPageConsumer, kUsageAcPan);
    std::array<uint8_t, 8> ids{};
    (void)parsed.multiplierReports(ids);
    parsed.takeFeatureReport(std::span(data, size));
    (void)parsed.resolutionMultiplier(kPageGenericDesktop, kUsageWheel, report);
    return 0;
}
