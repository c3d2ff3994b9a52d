#include "driver/hid/HidDescriptorParser.h"

#include "driver/hid/HidItemReader.h"

#include <array>

namespace obx::hid {

namespace {

enum MainTag : uint8_t {
    kInput = 0x8,
    kOutput = 0x9,
    kCollection = 0xA,
    kFeature = 0xB,
    kEndCollection = 0xC
};
enum GlobalTag : uint8_t {
    kUsagePage = 0x0,
    kLogicalMin = 0x1,
    kLogicalMax = 0x2,
    kPhysicalMin = 0x3,
    kPhysicalMax = 0x4,
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB,
};
enum LocalTag : uint8_t { kUsage = 0x0, kUsageMin = 0x1, kUsageMax = 0x2 };

constexpr uint32_t kMainConstant = 0x01;
constexpr uint32_t kMainVariable = 0x02;
constexpr uint32_t kMainNullState = 0x40;
constexpr uint8_t kApplicationCollection = 0x01;
constexpr uint8_t kLogicalCollection = 0x02;
constexpr uint32_t kResolutionMultiplier = uint32_t{kPageGenericDesktop} << 16 | kUsageResolutionMultiplier;
constexpr size_t kMaxGlobalStack = 8;
constexpr size_t kMaxCollectionDepth = 32;
constexpr size_t kMaxLocalSpans = 32;
constexpr uint32_t kMaxReportDataBits = (HidPreparsedData::kMaxReportBytes - 1) * 8;

struct GlobalState {
    uint16_t usagePage = 0;
    int32_t logicalMin = 0;
    int32_t logicalMax = 0;
    int32_t physicalMin = 0;
    int32_t physicalMax = 0;
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
};

struct LocalState {
    std::array<UsageSpan, kMaxLocalSpans> spans{};
    size_t spanCount = 0;
    bool haveMin = false;
    bool haveMax = false;
    uint32_t min = 0; // extended (page << 16 | id)
    uint32_t max = 0;
};

uint32_t extendedUsage(const HidItem& item, uint16_t page) {
    return item.size == 4 ? item.data : (static_cast<uint32_t>(page) << 16 | (item.data & 0xFFFF));
}

} // namespace

// The walk keeps its state in one object so that each item kind is handled by a small function.
class DescriptorWalk {
public:
    explicit DescriptorWalk(HidPreparsedData& out) : out_(out) {}

    HidStatus walk(std::span<const uint8_t> descriptor) {
        HidItemReader reader(descriptor);
        HidItem item;
        for (;;) {
            const HidItemReader::Result r = reader.next(item);
            if (r == HidItemReader::Result::End)
                break;
            if (r == HidItemReader::Result::Truncated)
                return HidStatus::InvalidDescriptor;
            HidStatus status = HidStatus::Success;
            switch (item.type) {
            case ItemType::Main:
                status = main(item);
                break;
            case ItemType::Global:
                status = global(item);
                break;
            case ItemType::Local:
                status = local(item);
                break;
            case ItemType::Reserved:
                break;
            }
            if (status != HidStatus::Success)
                return status;
        }
        return finish();
    }

private:
    HidStatus main(const HidItem& item) {
        HidStatus status = HidStatus::Success;
        switch (item.tag) {
        case kInput:
            status = dataItem(ReportType::Input, item.data);
            break;
        case kOutput:
            status = dataItem(ReportType::Output, item.data);
            break;
        case kFeature:
            status = dataItem(ReportType::Feature, item.data);
            break;
        case kCollection:
            if (depth_ == kMaxCollectionDepth || out_.collectionCount_ == HidPreparsedData::kMaxCollections)
                return HidStatus::InvalidDescriptor;
            out_.collections_[out_.collectionCount_] = {current(), (item.data & 0xFF) == kLogicalCollection};
            open_[depth_] = static_cast<uint8_t>(out_.collectionCount_++);
            if (depth_ == 0 && (item.data & 0xFF) == kApplicationCollection) {
                const uint32_t usage =
                    local_.spanCount > 0 ? (uint32_t{local_.spans[0].page} << 16 | local_.spans[0].min) : 0;
                if (!sawApplication_) {
                    sawApplication_ = true;
                    out_.caps_.usagePage = static_cast<uint16_t>(usage >> 16);
                    out_.caps_.usage = static_cast<uint16_t>(usage);
                }
                if (out_.applicationCount_ < HidPreparsedData::kMaxApplications)
                    out_.applications_[out_.applicationCount_++] = usage;
            }
            ++depth_;
            break;
        case kEndCollection:
            if (depth_ == 0)
                return HidStatus::InvalidDescriptor;
            --depth_;
            break;
        default:
            return HidStatus::InvalidDescriptor;
        }
        local_ = LocalState{};
        return status;
    }

    HidStatus global(const HidItem& item) {
        GlobalState& g = global_;
        switch (item.tag) {
        case kUsagePage:
            g.usagePage = static_cast<uint16_t>(item.data);
            break;
        case kLogicalMin:
            g.logicalMin = item.signedData();
            break;
        case kLogicalMax:
            g.logicalMax = item.signedData();
            break;
        case kPhysicalMin:
            g.physicalMin = item.signedData();
            break;
        case kPhysicalMax:
            g.physicalMax = item.signedData();
            break;
        case kReportSize:
            g.reportSize = item.data;
            break;
        case kReportCount:
            g.reportCount = item.data;
            break;
        case kReportId:
            if (item.data == 0 || item.data > 255)
                return HidStatus::InvalidDescriptor;
            g.reportId = static_cast<uint8_t>(item.data);
            out_.usesReportIds_ = true;
            break;
        case kPush:
            if (stackDepth_ == kMaxGlobalStack)
                return HidStatus::InvalidDescriptor;
            stack_[stackDepth_++] = g;
            break;
        case kPop:
            if (stackDepth_ == 0)
                return HidStatus::InvalidDescriptor;
            g = stack_[--stackDepth_];
            break;
        default:
            break; // units, exponents: not needed by the operations served
        }
        return HidStatus::Success;
    }

    HidStatus local(const HidItem& item) {
        switch (item.tag) {
        case kUsage: {
            const uint32_t u = extendedUsage(item, global_.usagePage);
            return addSpan(u, u);
        }
        case kUsageMin:
            local_.haveMin = true;
            local_.min = extendedUsage(item, global_.usagePage);
            break;
        case kUsageMax:
            local_.haveMax = true;
            local_.max = extendedUsage(item, global_.usagePage);
            break;
        default:
            return HidStatus::Success;
        }
        if (local_.haveMin && local_.haveMax) {
            local_.haveMin = local_.haveMax = false;
            if ((local_.min >> 16) != (local_.max >> 16) || local_.max < local_.min)
                return HidStatus::InvalidDescriptor;
            return addSpan(local_.min, local_.max);
        }
        return HidStatus::Success;
    }

    HidStatus addSpan(uint32_t min, uint32_t max) {
        if (local_.spanCount == kMaxLocalSpans)
            return HidStatus::InvalidDescriptor;
        local_.spans[local_.spanCount++] = {static_cast<uint16_t>(min >> 16), static_cast<uint16_t>(min),
                                            static_cast<uint16_t>(max)};
        return HidStatus::Success;
    }

    HidStatus dataItem(ReportType type, uint32_t flags) {
        const GlobalState& g = global_;
        if (local_.haveMin || local_.haveMax)
            return HidStatus::InvalidDescriptor; // a range with one end only
        const uint64_t fieldBits = uint64_t{g.reportSize} * g.reportCount;
        uint32_t& reportBits = out_.reportBits_[static_cast<size_t>(type)][g.reportId];
        if (reportBits + fieldBits > kMaxReportDataBits)
            return HidStatus::InvalidDescriptor;
        const uint32_t offset = reportBits;
        reportBits += static_cast<uint32_t>(fieldBits);
        if (g.reportId == 0)
            sawUnnumbered_ = true;
        const bool constant = (flags & kMainConstant) != 0;
        if (type == ReportType::Feature && !constant)
            return multiplierItem(offset);
        if (type != ReportType::Input || constant || fieldBits == 0 || local_.spanCount == 0)
            return HidStatus::Success;
        if (g.reportSize > 32)
            return HidStatus::InvalidDescriptor;
        if (out_.fieldCount_ == HidPreparsedData::kMaxInputFields ||
            out_.spanCount_ + local_.spanCount > HidPreparsedData::kMaxUsageSpans)
            return HidStatus::InvalidDescriptor;

        InputField& f = out_.fields_[out_.fieldCount_++];
        f.reportId = g.reportId;
        f.isArray = (flags & kMainVariable) == 0;
        f.hasNullState = (flags & kMainNullState) != 0;
        f.bitSize = static_cast<uint8_t>(g.reportSize);
        f.count = static_cast<uint16_t>(g.reportCount); // bounded by the report size check above
        f.bitOffset = offset;
        f.logicalMin = g.logicalMin;
        f.logicalMax = g.logicalMax;
        f.physicalMin = g.physicalMin;
        f.physicalMax = g.physicalMax;
        f.collection = current();
        f.firstSpan = static_cast<uint16_t>(out_.spanCount_);
        f.spanCount = static_cast<uint16_t>(local_.spanCount);
        for (size_t s = 0; s < local_.spanCount; ++s)
            out_.spans_[out_.spanCount_++] = local_.spans[s];
        return HidStatus::Success;
    }

    uint8_t current() const { return depth_ == 0 ? CollectionNode::kNone : open_[depth_ - 1]; }

    // Keeps a Resolution Multiplier of one element, the only kind the kernel sets; other feature
    // controls are not needed.
    HidStatus multiplierItem(uint32_t offset) {
        const GlobalState& g = global_;
        const bool single = local_.spanCount == 1 && local_.spans[0].min == local_.spans[0].max;
        if (!single || g.reportCount != 1 || g.reportSize == 0 || g.reportSize > 32 ||
            (uint32_t{local_.spans[0].page} << 16 | local_.spans[0].min) != kResolutionMultiplier)
            return HidStatus::Success;
        if (out_.multiplierCount_ == HidPreparsedData::kMaxMultipliers)
            return HidStatus::InvalidDescriptor;
        MultiplierField& m = out_.multipliers_[out_.multiplierCount_++];
        m.reportId = g.reportId;
        m.bitSize = static_cast<uint8_t>(g.reportSize);
        m.bitOffset = offset;
        m.logicalMin = g.logicalMin;
        m.logicalMax = g.logicalMax;
        m.physicalMin = g.physicalMin;
        m.physicalMax = g.physicalMax;
        m.collection = current();
        m.scope = multiplierScope(out_.collections(), m.collection);
        return HidStatus::Success;
    }

    static uint16_t longestReport(const std::array<uint32_t, 256>& bits) {
        uint32_t longest = 0;
        bool any = false;
        for (uint32_t b : bits) {
            any = any || b > 0;
            longest = b > longest ? b : longest;
        }
        return any ? static_cast<uint16_t>((longest + 7) / 8 + 1) : 0;
    }

    HidStatus finish() {
        if (depth_ != 0 || (out_.usesReportIds_ && sawUnnumbered_))
            return HidStatus::InvalidDescriptor;
        out_.caps_.inputReportByteLength = longestReport(out_.reportBits_[0]);
        out_.caps_.outputReportByteLength = longestReport(out_.reportBits_[1]);
        out_.caps_.featureReportByteLength = longestReport(out_.reportBits_[2]);
        if (out_.caps_.inputReportByteLength == 0)
            return HidStatus::InvalidDescriptor;
        out_.linkMultipliers();
        return HidStatus::Success;
    }

    HidPreparsedData& out_;
    GlobalState global_;
    LocalState local_;
    std::array<GlobalState, kMaxGlobalStack> stack_{};
    size_t stackDepth_ = 0;
    size_t depth_ = 0;
    std::array<uint8_t, kMaxCollectionDepth> open_{}; // indexes of the open collections, outermost first
    bool sawApplication_ = false;
    bool sawUnnumbered_ = false;
};

HidStatus HidDescriptorParser::parse(std::span<const uint8_t> descriptor, HidPreparsedData& out) {
    out.clear();
    DescriptorWalk walk(out);
    const HidStatus status = walk.walk(descriptor);
    if (status != HidStatus::Success)
        out.clear();
    return status;
}

} // namespace obx::hid
