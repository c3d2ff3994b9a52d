// The system HID parser's routines that the driver imports (HidP_*), over the project's own parser.

#include "FrameworkState.h"
#include "Verifier.h"
#include "driver/hid/ReportBits.h"
#include "driver/hid/ReportDescriptorParser.h"
#include "driver/hid/UsageListDifference.h"

#include <cstring>
#include <vector>

namespace obx::kmdf_double {

namespace {

// The "preparsed data" is the report descriptor (the double's HID class hands it out so); the parser
// of each block is made when the driver asks for its capabilities.
std::map<const void*, std::unique_ptr<hid::ReportDescriptorParser>> parsers;
std::map<const void*, size_t> descriptorSizes;

// The capability records of one collection as the system's parser gives them, made from the parsed
// descriptor: a record for each usage span of an input field (buttons: arrays and 1-bit fields, values:
// the others), its link collection the field's innermost collection (node 0, the top-level one, when
// it has none); the feature records are the Resolution Multipliers, the one kind of feature control
// our parser keeps; the link nodes give each collection's parent (node 0 its own) and type.
struct CapsModel {
    std::vector<HIDP_BUTTON_CAPS> inputButtons;
    std::vector<HIDP_VALUE_CAPS> inputValues;
    std::vector<HIDP_VALUE_CAPS> featureValues;
    std::vector<HIDP_LINK_COLLECTION_NODE> links;
};
std::map<const void*, CapsModel> capsModels;

USHORT linkOf(uint8_t collection) {
    return collection == hid::CollectionNode::kNone ? 0 : collection;
}

template <typename Caps>
void setUsages(Caps& caps, uint16_t min, uint16_t max) {
    caps.IsRange = min != max;
    if (caps.IsRange) {
        caps.Range.UsageMin = min;
        caps.Range.UsageMax = max;
    } else {
        caps.NotRange.Usage = min;
    }
}

void setRanges(HIDP_VALUE_CAPS& caps, int32_t logicalMin, int32_t logicalMax, int32_t physicalMin,
               int32_t physicalMax) {
    caps.LogicalMin = logicalMin;
    caps.LogicalMax = logicalMax;
    caps.PhysicalMin = physicalMin;
    caps.PhysicalMax = physicalMax;
}

CapsModel capsOf(const hid::HidPreparsedData& parsed) {
    CapsModel model;
    for (const hid::InputField& field : parsed.inputFields()) {
        for (const hid::UsageSpan& span : parsed.usageSpans(field)) {
            if (field.isArray || field.bitSize == 1) {
                HIDP_BUTTON_CAPS caps{};
                caps.UsagePage = span.page;
                caps.ReportID = field.reportId;
                caps.LinkCollection = linkOf(field.collection);
                setUsages(caps, span.min, span.max);
                model.inputButtons.push_back(caps);
                continue;
            }
            HIDP_VALUE_CAPS caps{};
            caps.UsagePage = span.page;
            caps.ReportID = field.reportId;
            caps.LinkCollection = linkOf(field.collection);
            caps.HasNull = field.hasNullState;
            caps.BitSize = field.bitSize;
            caps.ReportCount = static_cast<USHORT>(std::min<uint32_t>(span.count(), field.count));
            setUsages(caps, span.min, span.max);
            setRanges(caps, field.logicalMin, field.logicalMax, field.physicalMin, field.physicalMax);
            model.inputValues.push_back(caps);
        }
    }
    for (const hid::MultiplierField& multiplier : parsed.multipliers()) {
        HIDP_VALUE_CAPS caps{};
        caps.UsagePage = hid::kPageGenericDesktop;
        caps.ReportID = multiplier.reportId;
        caps.LinkCollection = linkOf(multiplier.collection);
        caps.BitSize = multiplier.bitSize;
        caps.ReportCount = 1;
        setUsages(caps, hid::kUsageResolutionMultiplier, hid::kUsageResolutionMultiplier);
        setRanges(caps, multiplier.logicalMin, multiplier.logicalMax, multiplier.physicalMin,
                  multiplier.physicalMax);
        model.featureValues.push_back(caps);
    }
    for (const hid::CollectionNode& collection : parsed.collections()) {
        HIDP_LINK_COLLECTION_NODE node{};
        node.Parent = linkOf(collection.parent);
        node.CollectionType = collection.logical                                ? 2
                              : collection.parent == hid::CollectionNode::kNone ? 1
                                                                                : 0;
        model.links.push_back(node);
    }
    return model;
}

const CapsModel& capsModelOf(PHIDP_PREPARSED_DATA preparsed, const char* call) {
    Verifier::requirePassive(call);
    const auto found = capsModels.find(preparsed);
    if (found == capsModels.end())
        Verifier::fatal(std::string(call) + " called with preparsed data that HidP_GetCaps never saw");
    return found->second;
}

// The variable field that holds the usage in this report, and the usage's element in it; else why not.
struct ValueIn {
    const hid::InputField* field = nullptr;
    uint32_t element = 0;
    NTSTATUS status = HIDP_STATUS_USAGE_NOT_FOUND;
};

ValueIn valueIn(const hid::HidPreparsedData& parsed, uint16_t page, uint16_t usage,
                std::span<const uint8_t> report) {
    if (report.empty())
        return {nullptr, 0, HIDP_STATUS_INVALID_REPORT_LENGTH};
    ValueIn found;
    for (const hid::InputField& field : parsed.inputFields()) {
        for (uint32_t e = 0; !field.isArray && e < field.count; ++e) {
            uint16_t p = 0;
            uint16_t u = 0;
            if (!parsed.elementUsage(field, e, p, u) || p != page || u != usage)
                continue;
            if (field.reportId == report[0])
                return {&field, e, HIDP_STATUS_SUCCESS};
            found.status = HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
            break;
        }
    }
    return found;
}

// Copies the records into the caller's array as the system's parser does: as many as fit, and the
// number copied.
template <typename Record, typename Length>
NTSTATUS copyRecords(const std::vector<Record>& records, Record* out, Length* length) {
    const size_t n = std::min<size_t>(records.size(), *length);
    std::copy_n(records.begin(), n, out);
    *length = static_cast<Length>(n);
    return HIDP_STATUS_SUCCESS;
}

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
    CapsModel model = capsOf(parser->parsed());
    caps->NumberLinkCollectionNodes = static_cast<USHORT>(model.links.size());
    caps->NumberInputButtonCaps = static_cast<USHORT>(model.inputButtons.size());
    caps->NumberInputValueCaps = static_cast<USHORT>(model.inputValues.size());
    caps->NumberFeatureValueCaps = static_cast<USHORT>(model.featureValues.size());
    capsModels[preparsed] = std::move(model);
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
    const obx::hid::ReportDescriptorParser* parser = parserOf(preparsed, "HidP_GetScaledUsageValue");
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(report), reportLength);
    // The system's parser scales nothing whose physical range the descriptor leaves out, although the
    // HID device class definition takes it for the logical one.
    const ValueIn found = valueIn(parser->parsed(), page, usage, bytes);
    if (found.field != nullptr && found.field->physicalMin == 0 && found.field->physicalMax == 0)
        return HIDP_STATUS_BAD_LOG_PHY_VALUES;
    int32_t scaled = 0;
    const auto status = parser->getScaledUsageValue(page, usage, bytes, scaled);
    *value = scaled;
    return toHidp(status);
}

NTSTATUS NTAPI HidP_GetButtonCaps(HIDP_REPORT_TYPE type, PHIDP_BUTTON_CAPS caps, PUSHORT length,
                                  PHIDP_PREPARSED_DATA preparsed) {
    const CapsModel& model = capsModelOf(preparsed, "HidP_GetButtonCaps");
    if (type != HidP_Input)
        Verifier::violation("HidP_GetButtonCaps: the double has input buttons only");
    return copyRecords(model.inputButtons, caps, length);
}

NTSTATUS NTAPI HidP_GetValueCaps(HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps, PUSHORT length,
                                 PHIDP_PREPARSED_DATA preparsed) {
    const CapsModel& model = capsModelOf(preparsed, "HidP_GetValueCaps");
    if (type == HidP_Output)
        Verifier::violation("HidP_GetValueCaps: the double has no output values");
    return copyRecords(type == HidP_Input ? model.inputValues : model.featureValues, caps, length);
}

NTSTATUS NTAPI HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE nodes, PULONG length,
                                           PHIDP_PREPARSED_DATA preparsed) {
    const CapsModel& model = capsModelOf(preparsed, "HidP_GetLinkCollectionNodes");
    // The whole tree or nothing: a short array is refused with the length it needs.
    if (*length < model.links.size()) {
        *length = static_cast<ULONG>(model.links.size());
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    return copyRecords(model.links, nodes, length);
}

// The raw bits of the usage's variable field in this report, not sign-extended.
NTSTATUS NTAPI HidP_GetUsageValue(HIDP_REPORT_TYPE type, USAGE page, USHORT, USAGE usage, PULONG value,
                                  PHIDP_PREPARSED_DATA preparsed, PCHAR report, ULONG reportLength) {
    Verifier::requireAtMost(kDispatchLevel, "HidP_GetUsageValue");
    if (type != HidP_Input)
        Verifier::violation("HidP_GetUsageValue: not an input report");
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(report), reportLength);
    const ValueIn found = valueIn(parserOf(preparsed, "HidP_GetUsageValue")->parsed(), page, usage, bytes);
    if (found.field == nullptr)
        return found.status;
    const uint32_t offset = found.field->bitOffset + found.element * found.field->bitSize;
    if (offset + found.field->bitSize > (reportLength - 1) * 8)
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    *value = obx::hid::readReportBits(bytes.subspan(1), offset, found.field->bitSize);
    return HIDP_STATUS_SUCCESS;
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
