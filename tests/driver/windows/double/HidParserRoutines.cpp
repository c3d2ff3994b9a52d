// The system HID parser's routines that the driver imports (HidP_*), over the project's own parser.

#include "FrameworkState.h"
#include "Verifier.h"
#include "driver/hid/ReportDescriptorParser.h"
#include "driver/hid/UsageListDifference.h"

#include <cstring>

namespace obx::kmdf_double {

namespace {

// The "preparsed data" is the report descriptor (the double's HID class hands it out so); the parser
// of each block is made when the driver asks for its capabilities.
std::map<const void*, std::unique_ptr<hid::ReportDescriptorParser>> parsers;
std::map<const void*, size_t> descriptorSizes;

const hid::ReportDescriptorParser* parserOf(PHIDP_PREPARSED_DATA preparsed, const char* call) {
    const auto found = parsers.find(preparsed);
    if (found == parsers.end())
        Verifier::fatal(std::string(call) + " called with preparsed data that HidP_GetCaps never saw");
    return found->second.get();
}

NTSTATUS toHidp(hid::HidStatus status) {
    switch (status) {
    case hid::HidStatus::Success:
        return HIDP_STATUS_SUCCESS;
    case hid::HidStatus::InvalidReportLength:
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    case hid::HidStatus::IncompatibleReportId:
        return HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
    case hid::HidStatus::UsageNotFound:
        return HIDP_STATUS_USAGE_NOT_FOUND;
    case hid::HidStatus::BufferTooSmall:
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    case hid::HidStatus::Null:
        return HIDP_STATUS_NULL;
    case hid::HidStatus::ValueOutOfRange:
        return HIDP_STATUS_VALUE_OUT_OF_RANGE;
    case hid::HidStatus::BadLogPhyValues:
        return HIDP_STATUS_BAD_LOG_PHY_VALUES;
    default:
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
}

} // namespace

void registerPreparsedSize(const void* block, size_t size) {
    descriptorSizes[block] = size;
}

} // namespace obx::kmdf_double

using namespace obx::kmdf_double;

extern "C" {

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS caps) {
    Verifier::requirePassive("HidP_GetCaps");
    const auto size = descriptorSizes.find(preparsed);
    if (size == descriptorSizes.end())
        Verifier::fatal("HidP_GetCaps called with a block that is not the collection's preparsed data");
    auto parser = std::make_unique<obx::hid::ReportDescriptorParser>();
    const std::span<uint8_t> storage = parser->descriptorStorage(static_cast<uint32_t>(size->second));
    std::memcpy(storage.data(), preparsed, size->second);
    obx::hid::HidCaps parsed;
    const obx::hid::HidStatus status = parser->load(parsed);
    if (status != obx::hid::HidStatus::Success)
        return toHidp(status);
    *caps = HIDP_CAPS{};
    caps->UsagePage = parsed.usagePage;
    caps->Usage = parsed.usage;
    caps->InputReportByteLength = parsed.inputReportByteLength;
    caps->OutputReportByteLength = parsed.outputReportByteLength;
    caps->FeatureReportByteLength = parsed.featureReportByteLength;
    parsers[preparsed] = std::move(parser);
    return HIDP_STATUS_SUCCESS;
}

ULONG NTAPI HidP_MaxUsageListLength(HIDP_REPORT_TYPE type, USAGE page, PHIDP_PREPARSED_DATA preparsed) {
    Verifier::requirePassive("HidP_MaxUsageListLength");
    if (type != HidP_Input)
        Verifier::violation("HidP_MaxUsageListLength: not an input report");
    return parserOf(preparsed, "HidP_MaxUsageListLength")->maxUsageListLength(page);
}

NTSTATUS NTAPI HidP_GetUsages(HIDP_REPORT_TYPE type, USAGE page, USHORT, PUSAGE usages, PULONG length,
                              PHIDP_PREPARSED_DATA preparsed, PCHAR report, ULONG reportLength) {
    Verifier::requireAtMost(kDispatchLevel, "HidP_GetUsages");
    if (type != HidP_Input)
        Verifier::violation("HidP_GetUsages: not an input report");
    uint32_t count = 0;
    const auto status =
        parserOf(preparsed, "HidP_GetUsages")
            ->getUsages(page, std::span(reinterpret_cast<const uint8_t*>(report), reportLength),
                        std::span(usages, *length), count);
    *length = count;
    return toHidp(status);
}

NTSTATUS NTAPI HidP_GetScaledUsageValue(HIDP_REPORT_TYPE type, USAGE page, USHORT, USAGE usage, PLONG value,
                                        PHIDP_PREPARSED_DATA preparsed, PCHAR report, ULONG reportLength) {
    Verifier::requireAtMost(kDispatchLevel, "HidP_GetScaledUsageValue");
    if (type != HidP_Input)
        Verifier::violation("HidP_GetScaledUsageValue: not an input report");
    int32_t scaled = 0;
    const auto status =
        parserOf(preparsed, "HidP_GetScaledUsageValue")
            ->getScaledUsageValue(page, usage,
                                  std::span(reinterpret_cast<const uint8_t*>(report), reportLength), scaled);
    *value = scaled;
    return toHidp(status);
}

NTSTATUS NTAPI HidP_UsageListDifference(PUSAGE previous, PUSAGE current, PUSAGE breakList, PUSAGE makeList,
                                        ULONG length) {
    Verifier::requireAtMost(kDispatchLevel, "HidP_UsageListDifference");
    const bool done = obx::hid::usageListDifference(
        std::span<const uint16_t>(previous, length), std::span<const uint16_t>(current, length),
        std::span(breakList, length), std::span(makeList, length), length);
    return done ? HIDP_STATUS_SUCCESS : HIDP_STATUS_BUFFER_TOO_SMALL;
}

} // extern "C"
