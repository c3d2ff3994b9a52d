#include "HidpParser.h"

#include "Pool.h"
#include "driver/hid/ReportBits.h"

namespace obx::windows {

namespace {

static_assert(sizeof(USAGE) == sizeof(uint16_t));

hid::HidStatus fromHidp(NTSTATUS status) {
    switch (status) {
    case HIDP_STATUS_SUCCESS:
        return hid::HidStatus::Success;
    case HIDP_STATUS_INVALID_REPORT_LENGTH:
        return hid::HidStatus::InvalidReportLength;
    case HIDP_STATUS_INCOMPATIBLE_REPORT_ID:
        return hid::HidStatus::IncompatibleReportId;
    case HIDP_STATUS_USAGE_NOT_FOUND:
        return hid::HidStatus::UsageNotFound;
    case HIDP_STATUS_BUFFER_TOO_SMALL:
        return hid::HidStatus::BufferTooSmall;
    case HIDP_STATUS_NULL:
        return hid::HidStatus::Null;
    case HIDP_STATUS_VALUE_OUT_OF_RANGE:
        return hid::HidStatus::ValueOutOfRange;
    case HIDP_STATUS_BAD_LOG_PHY_VALUES:
        return hid::HidStatus::BadLogPhyValues;
    default:
        return hid::HidStatus::InvalidDescriptor;
    }
}

// The parser takes reports through non-const pointers; it only reads them.
PCHAR reportBytes(std::span<const uint8_t> report) {
    return reinterpret_cast<PCHAR>(const_cast<uint8_t*>(report.data()));
}

PUSAGE usageList(std::span<const uint16_t> list) {
    return const_cast<PUSAGE>(list.data());
}

} // namespace

std::span<uint8_t> HidpParser::descriptorStorage(uint32_t size) {
    release();
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = device_;
    void* buffer = nullptr;
    if (!NT_SUCCESS(WdfMemoryCreate(&attributes, nonPagedPool(), kPoolTag, size, &memory_, &buffer))) {
        memory_ = nullptr;
        return {};
    }
    return std::span(static_cast<uint8_t*>(buffer), size);
}

hid::HidStatus HidpParser::load(hid::HidCaps& caps) {
    if (memory_ == nullptr)
        return hid::HidStatus::InvalidDescriptor;
    const auto preparsed = static_cast<PHIDP_PREPARSED_DATA>(WdfMemoryGetBuffer(memory_, nullptr));
    HIDP_CAPS hidpCaps;
    const NTSTATUS status = HidP_GetCaps(preparsed, &hidpCaps);
    if (status != HIDP_STATUS_SUCCESS)
        return fromHidp(status);
    caps.usagePage = hidpCaps.UsagePage;
    caps.usage = hidpCaps.Usage;
    caps.inputReportByteLength = hidpCaps.InputReportByteLength;
    caps.outputReportByteLength = hidpCaps.OutputReportByteLength;
    caps.featureReportByteLength = hidpCaps.FeatureReportByteLength;
    layout_.read(device_, preparsed, hidpCaps);
    preparsed_ = preparsed;
    return hid::HidStatus::Success;
}

void HidpParser::release() {
    preparsed_ = nullptr;
    layout_.clear();
    if (memory_ != nullptr)
        WdfObjectDelete(memory_);
    memory_ = nullptr;
}

uint32_t HidpParser::maxUsageListLength(uint16_t usagePage) const {
    return HidP_MaxUsageListLength(HidP_Input, usagePage, preparsed_);
}

hid::HidStatus HidpParser::getUsages(uint16_t usagePage, std::span<const uint8_t> report,
                                     std::span<uint16_t> usages, uint32_t& count) const {
    ULONG length = static_cast<ULONG>(usages.size());
    const NTSTATUS status = HidP_GetUsages(HidP_Input, usagePage, 0, usages.data(), &length, preparsed_,
                                           reportBytes(report), static_cast<ULONG>(report.size()));
    count = length;
    return fromHidp(status);
}

hid::HidStatus HidpParser::getScaledUsageValue(uint16_t usagePage, uint16_t usage,
                                               std::span<const uint8_t> report, int32_t& value) const {
    return scaledValue(usagePage, usage, report, hid::OutOfRange::Refuse, value);
}

hid::HidStatus HidpParser::getClampedScaledUsageValue(uint16_t usagePage, uint16_t usage,
                                                      std::span<const uint8_t> report, int32_t& value) const {
    return scaledValue(usagePage, usage, report, hid::OutOfRange::Clamp, value);
}

hid::HidStatus HidpParser::scaledValue(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report,
                                       hid::OutOfRange outOfRange, int32_t& value) const {
    LONG scaled = 0;
    const NTSTATUS status = HidP_GetScaledUsageValue(HidP_Input, usagePage, 0, usage, &scaled, preparsed_,
                                                     reportBytes(report), static_cast<ULONG>(report.size()));
    value = scaled;
    // The system's parser refuses a value outside the logical range of a control without a null state,
    // which the kernel's input layer clamps, and scales no control whose physical range the descriptor
    // leaves out, which HID's device class definition takes for the logical one (its documentation points to
    // the raw value then). Both are scaled here from the raw value, by the rules of our own parser.
    const bool fromRaw = status == HIDP_STATUS_BAD_LOG_PHY_VALUES ||
                         (status == HIDP_STATUS_VALUE_OUT_OF_RANGE && outOfRange == hid::OutOfRange::Clamp);
    const HidpValueControl* control =
        fromRaw && !report.empty() ? layout_.valueControl(usagePage, usage, report[0]) : nullptr;
    ULONG raw = 0;
    if (control == nullptr || control->bitSize == 0 ||
        HidP_GetUsageValue(HidP_Input, usagePage, 0, usage, &raw, preparsed_, reportBytes(report),
                           static_cast<ULONG>(report.size())) != HIDP_STATUS_SUCCESS)
        return fromHidp(status);
    // The parser gives the raw bits; a signed range needs them sign-extended.
    const int64_t logical =
        control->range.logicalMin < 0 ? hid::signExtend(raw, control->bitSize) : static_cast<int64_t>(raw);
    return hid::scaleValue(logical, control->range, control->hasNull, outOfRange, value);
}

uint32_t HidpParser::highestUsage(uint16_t usagePage) const {
    return layout_.highestUsage(usagePage);
}

bool HidpParser::declares(uint16_t usagePage, uint16_t usage) const {
    return layout_.declares(usagePage, usage);
}

int32_t HidpParser::resolutionMultiplier(uint16_t usagePage, uint16_t usage,
                                         std::span<const uint8_t> report) const {
    const HidpValueControl* control =
        report.empty() ? nullptr : layout_.valueControl(usagePage, usage, report[0]);
    return control != nullptr ? control->multiplier : 1;
}

hid::HidStatus HidpParser::usageListDifference(std::span<const uint16_t> previous,
                                               std::span<const uint16_t> current,
                                               std::span<uint16_t> breakList, std::span<uint16_t> makeList,
                                               uint32_t length) const {
    if (previous.size() < length || current.size() < length || breakList.size() < length ||
        makeList.size() < length)
        return hid::HidStatus::BufferTooSmall;
    return fromHidp(HidP_UsageListDifference(usageList(previous), usageList(current), breakList.data(),
                                             makeList.data(), length));
}

} // namespace obx::windows
