#pragma once

#include "driver/hid/HidTypes.h"
#include "driver/hid/ResolutionMultiplier.h"
#include "driver/hid/ValueScaling.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace obx::hid {

class DescriptorWalk;

struct UsageSpan {
    uint16_t page = 0;
    uint16_t min = 0;
    uint16_t max = 0;

    uint32_t count() const { return static_cast<uint32_t>(max) - min + 1; }
};

// One data field of an input report (a main item that is not constant).
struct InputField {
    uint8_t reportId = 0;
    bool isArray = false;
    bool hasNullState = false;
    uint8_t bitSize = 0; // 1 to 32
    uint16_t count = 0;
    uint32_t bitOffset = 0; // from the first byte after the report-id byte
    int32_t logicalMin = 0;
    int32_t logicalMax = 0;
    int32_t physicalMin = 0;
    int32_t physicalMax = 0;
    uint16_t firstSpan = 0;
    uint16_t spanCount = 0;
    uint8_t collection = 0; // the innermost collection around the main item
    uint8_t multiplier = 0; // 1 + the index of the Resolution Multiplier that governs it; 0 for none
};

// A Resolution Multiplier (Generic Desktop 0x48) in a feature report. It governs the input controls
// inside its nearest Logical collection (every input control when it has none), whose values then
// come in fractions of a detent: `effective` of them make one.
struct MultiplierField {
    uint8_t reportId = 0;
    uint8_t bitSize = 0;
    uint32_t bitOffset = 0; // from the first byte after the report-id byte
    int32_t logicalMin = 0;
    int32_t logicalMax = 0;
    int32_t physicalMin = 0;
    int32_t physicalMax = 0;
    uint8_t collection = CollectionNode::kNone; // the innermost collection around it
    uint8_t scope = CollectionNode::kNone;      // the Logical collection; kNone: everything
    int32_t effective = 1;
};

// What the elements of a variable field past its declared usages report (Usage Maximum below Report
// Count). HidP gives each the field's last usage again; the Linux input layer maps each to that usage's
// event code, finds the code taken by the declared element and drops them, so a button there does
// nothing.
enum class ExcessElements : uint8_t { RepeatLastUsage, Ignored };

// The parsed form of a report descriptor, of fixed size, so that the report path needs no memory of its
// own. Reports are taken in the class driver's form: byte 0 is the report id (0 for a device that uses
// none) and the fields follow.
class HidPreparsedData {
public:
    static constexpr size_t kMaxInputFields = 256; // a pen and touch composite has over 100
    static constexpr size_t kMaxUsageSpans = 512;
    static constexpr size_t kMaxReportBytes =
        4096; // id byte included; some devices have vendor reports of 4 KiB
    static constexpr size_t kReportIds = 256;
    static constexpr size_t kMaxCollections = 128;
    static constexpr size_t kMaxMultipliers = 8;
    static constexpr size_t kMaxApplications = 16;

    // Forgets the parsed descriptor, in place: the object is too large for a temporary on a kernel stack.
    void clear();

    const HidCaps& caps() const { return caps_; }
    bool usesReportIds() const { return usesReportIds_; }

    // The largest number of usages of the page that one input report can carry.
    uint32_t maxUsageListLength(uint16_t usagePage) const;

    // Usages of the page that are on in the report. `count` receives the number found; when the list
    // is too short it receives the number needed and the call fails with BufferTooSmall.
    HidStatus getUsages(uint16_t usagePage, std::span<const uint8_t> report, std::span<uint16_t> usages,
                        uint32_t& count, ExcessElements excess = ExcessElements::RepeatLastUsage) const;

    HidStatus getScaledUsageValue(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report,
                                  int32_t& value) const;
    // As getScaledUsageValue, but a value outside the logical range of a field without a null state is
    // clamped into it, as the kernel's input layer does, instead of refused.
    HidStatus getClampedScaledUsageValue(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report,
                                         int32_t& value) const;

    // The distinct report ids of the feature reports that hold a Resolution Multiplier, at most
    // `ids.size()` of them; returns how many were written.
    uint32_t multiplierReports(std::span<uint8_t> ids) const;
    // Takes the value of every Resolution Multiplier in this feature report (report id first), as read
    // from the device. A multiplier never read stays at 1.
    void takeFeatureReport(std::span<const uint8_t> report);
    // The effective Resolution Multiplier of an input control in this report: 1 when none governs it.
    int32_t resolutionMultiplier(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report) const;

    // The highest usage of the page in any input field, and whether the usage is in one.
    uint32_t highestUsage(uint16_t usagePage) const;
    bool declares(uint16_t usagePage, uint16_t usage) const;

    // For tools that write reports: the input data fields, the page and usage of a field's element, and
    // the data bits of the input report of an id (its id byte excluded).
    std::span<const InputField> inputFields() const { return {fields_.data(), fieldCount_}; }
    // The usages (page << 16 | usage) of the top-level collections, the first kMaxApplications.
    std::span<const uint32_t> applications() const { return {applications_.data(), applicationCount_}; }
    // The collections (InputField::collection indexes them) and the Resolution Multipliers.
    std::span<const CollectionNode> collections() const { return {collections_.data(), collectionCount_}; }
    std::span<const MultiplierField> multipliers() const { return {multipliers_.data(), multiplierCount_}; }
    bool elementUsage(const InputField& field, uint32_t element, uint16_t& page, uint16_t& usage) const;
    std::span<const UsageSpan> usageSpans(const InputField& field) const {
        return {spans_.data() + field.firstSpan, field.spanCount};
    }
    uint32_t inputReportBits(uint8_t reportId) const {
        return reportBits_[static_cast<size_t>(ReportType::Input)][reportId];
    }

private:
    friend class DescriptorWalk;

    struct ElementUsage {
        uint16_t page = 0;
        uint16_t usage = 0;
    };

    struct UsageCollector {
        std::span<uint16_t> list;
        uint32_t needed = 0;
        void add(uint16_t usage) {
            if (needed < list.size())
                list[needed] = usage;
            ++needed;
        }
    };

    bool fieldHasPage(const InputField& field, uint16_t usagePage) const;
    // Calls `visit(page, usage)` with every usage that an input field can report.
    template <typename Visit>
    void forEachInputUsage(Visit visit) const;
    uint32_t usagesOfPage(const InputField& field, uint16_t usagePage) const;
    void collectVariableUsages(const InputField& field, uint16_t usagePage, std::span<const uint8_t> data,
                               ExcessElements excess, UsageCollector& out) const;
    void collectArrayUsages(const InputField& field, uint16_t usagePage, std::span<const uint8_t> data,
                            UsageCollector& out) const;
    uint32_t totalUsages(const InputField& field) const;
    // The usage of the index-th usage of the field's list; the last one repeats past the end.
    bool usageAt(const InputField& field, uint32_t index, ElementUsage& out) const;
    bool findElement(const InputField& field, uint16_t usagePage, uint16_t usage, uint32_t& element) const;
    HidStatus scaledUsageValue(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report,
                               OutOfRange outOfRange, int32_t& value) const;
    // The field of this report that holds the usage as a variable; null when there is none, with
    // `status` telling why.
    const InputField* variableField(uint16_t usagePage, uint16_t usage, std::span<const uint8_t> report,
                                    uint32_t& element, HidStatus& status) const;
    static HidStatus scaledValue(const InputField& field, std::span<const uint8_t> data, uint32_t element,
                                 OutOfRange outOfRange, int32_t& value);
    // Which multiplier governs each input field, once the walk has seen them all.
    void linkMultipliers();
    HidStatus checkReport(std::span<const uint8_t> report, uint8_t& reportId) const;
    HidStatus resultForMissing(bool foundInOtherReport) const;

    HidCaps caps_;
    bool usesReportIds_ = false;
    std::array<InputField, kMaxInputFields> fields_{};
    size_t fieldCount_ = 0;
    std::array<UsageSpan, kMaxUsageSpans> spans_{};
    size_t spanCount_ = 0;
    std::array<CollectionNode, kMaxCollections> collections_{};
    size_t collectionCount_ = 0;
    std::array<MultiplierField, kMaxMultipliers> multipliers_{};
    size_t multiplierCount_ = 0;
    std::array<uint32_t, kMaxApplications> applications_{};
    size_t applicationCount_ = 0;
    // Data bits (id byte excluded) of each report id, per report type; counted up by the parse.
    std::array<std::array<uint32_t, kReportIds>, 3> reportBits_{};
};

} // namespace obx::hid
