#include "HidpLayout.h"

#include "Pool.h"

#include <algorithm>

namespace obx::windows {

namespace {

constexpr ULONG kLogicalCollectionType = 2; // HIDP_LINK_COLLECTION_NODE.CollectionType

// The usages of a caps record: its range, or its one usage.
template <typename Caps>
void usagesOf(const Caps& caps, uint16_t& min, uint16_t& max) {
    min = caps.IsRange ? caps.Range.UsageMin : caps.NotRange.Usage;
    max = caps.IsRange ? caps.Range.UsageMax : caps.NotRange.Usage;
}

uint8_t collectionIndex(USHORT linkCollection) {
    return linkCollection < HidpLayout::kMaxCollections ? static_cast<uint8_t>(linkCollection)
                                                        : hid::CollectionNode::kNone;
}

bool isMultiplier(const HIDP_VALUE_CAPS& caps) {
    uint16_t min = 0;
    uint16_t max = 0;
    usagesOf(caps, min, max);
    return caps.UsagePage == hid::kPageGenericDesktop && min <= hid::kUsageResolutionMultiplier &&
           hid::kUsageResolutionMultiplier <= max;
}

} // namespace

void HidpLayout::clear() {
    rangeCount_ = 0;
    valueCount_ = 0;
    complete_ = false;
}

void HidpLayout::read(WDFDEVICE device, PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps) {
    clear();
    const USHORT buttons = std::min<USHORT>(caps.NumberInputButtonCaps, kMaxCaps);
    const USHORT values = std::min<USHORT>(caps.NumberInputValueCaps, kMaxCaps);
    const USHORT features = std::min<USHORT>(caps.NumberFeatureValueCaps, kMaxCaps);
    const USHORT nodes = caps.NumberLinkCollectionNodes;
    complete_ = buttons == caps.NumberInputButtonCaps && values == caps.NumberInputValueCaps;
    // One block serves every query in turn: the largest of them.
    const size_t size =
        std::max({size_t{buttons} * sizeof(HIDP_BUTTON_CAPS),
                  size_t{std::max(values, features)} * sizeof(HIDP_VALUE_CAPS),
                  size_t{std::min<size_t>(nodes, kMaxCollections)} * sizeof(HIDP_LINK_COLLECTION_NODE)});
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = device;
    WDFMEMORY memory = nullptr;
    void* scratch = nullptr;
    if (size == 0 ||
        !NT_SUCCESS(WdfMemoryCreate(&attributes, nonPagedPool(), kPoolTag, size, &memory, &scratch))) {
        complete_ = false;
        return;
    }
    readButtons(preparsed, scratch, buttons);
    readValues(preparsed, scratch, values);
    applyMultipliers(preparsed, scratch, features, nodes);
    WdfObjectDelete(memory);
}

void HidpLayout::addRange(uint16_t page, uint16_t min, uint16_t max) {
    if (rangeCount_ == ranges_.size()) {
        complete_ = false;
        return;
    }
    ranges_[rangeCount_++] = {page, min, max};
}

void HidpLayout::readButtons(PHIDP_PREPARSED_DATA preparsed, void* scratch, USHORT count) {
    const auto caps = static_cast<PHIDP_BUTTON_CAPS>(scratch);
    USHORT length = count;
    if (count == 0)
        return;
    if (HidP_GetButtonCaps(HidP_Input, caps, &length, preparsed) != HIDP_STATUS_SUCCESS) {
        complete_ = false;
        return;
    }
    for (USHORT i = 0; i < length; ++i) {
        uint16_t min = 0;
        uint16_t max = 0;
        usagesOf(caps[i], min, max);
        addRange(caps[i].UsagePage, min, max);
    }
}

void HidpLayout::readValues(PHIDP_PREPARSED_DATA preparsed, void* scratch, USHORT count) {
    const auto caps = static_cast<PHIDP_VALUE_CAPS>(scratch);
    USHORT length = count;
    if (count == 0)
        return;
    if (HidP_GetValueCaps(HidP_Input, caps, &length, preparsed) != HIDP_STATUS_SUCCESS) {
        complete_ = false;
        return;
    }
    for (USHORT i = 0; i < length; ++i) {
        const HIDP_VALUE_CAPS& c = caps[i];
        HidpValueControl control;
        usagesOf(c, control.usageMin, control.usageMax);
        addRange(c.UsagePage, control.usageMin, control.usageMax);
        if (valueCount_ == values_.size()) {
            complete_ = false;
            continue;
        }
        control.page = c.UsagePage;
        control.reportId = c.ReportID;
        control.bitSize = static_cast<uint8_t>(std::min<USHORT>(c.BitSize, 32));
        control.hasNull = c.HasNull != FALSE;
        control.collection = collectionIndex(c.LinkCollection);
        control.range = {c.LogicalMin, c.LogicalMax, c.PhysicalMin, c.PhysicalMax};
        values_[valueCount_++] = control;
    }
}

void HidpLayout::applyMultipliers(PHIDP_PREPARSED_DATA preparsed, void* scratch, USHORT featureValues,
                                  USHORT nodes) {
    if (featureValues == 0 || nodes == 0 || nodes > kMaxCollections)
        return;
    const auto links = static_cast<PHIDP_LINK_COLLECTION_NODE>(scratch);
    ULONG linkCount = nodes;
    if (HidP_GetLinkCollectionNodes(links, &linkCount, preparsed) != HIDP_STATUS_SUCCESS)
        return;
    // Node 0 is the top-level collection; the parser gives it itself as its parent.
    std::array<hid::CollectionNode, kMaxCollections> collections{};
    const size_t collectionCount = std::min<size_t>(linkCount, kMaxCollections);
    for (size_t i = 0; i < collectionCount; ++i)
        collections[i] = {i == 0 ? hid::CollectionNode::kNone : collectionIndex(links[i].Parent),
                          links[i].CollectionType == kLogicalCollectionType};
    const std::span<const hid::CollectionNode> tree(collections.data(), collectionCount);

    const auto caps = static_cast<PHIDP_VALUE_CAPS>(scratch);
    USHORT length = featureValues;
    if (HidP_GetValueCaps(HidP_Feature, caps, &length, preparsed) != HIDP_STATUS_SUCCESS)
        return;
    // Windows sets each multiplier to its logical maximum as it starts a mouse with one; later
    // multipliers win, as in the kernel, which applies them one after another.
    for (USHORT m = 0; m < length; ++m) {
        if (!isMultiplier(caps[m]))
            continue;
        const hid::ValueRange range{caps[m].LogicalMin, caps[m].LogicalMax, caps[m].PhysicalMin,
                                    caps[m].PhysicalMax};
        const int32_t effective = hid::effectiveMultiplier(range.logicalMax, range);
        const uint8_t scope = hid::multiplierScope(tree, collectionIndex(caps[m].LinkCollection));
        for (size_t v = 0; v < valueCount_; ++v) {
            if (hid::withinScope(tree, values_[v].collection, scope))
                values_[v].multiplier = effective;
        }
    }
}

uint32_t HidpLayout::highestUsage(uint16_t usagePage) const {
    uint32_t highest = 0;
    for (size_t r = 0; complete_ && r < rangeCount_; ++r) {
        if (ranges_[r].page == usagePage)
            highest = std::max<uint32_t>(highest, ranges_[r].max);
    }
    return highest;
}

bool HidpLayout::declares(uint16_t usagePage, uint16_t usage) const {
    for (size_t r = 0; complete_ && r < rangeCount_; ++r) {
        if (ranges_[r].page == usagePage && ranges_[r].min <= usage && usage <= ranges_[r].max)
            return true;
    }
    return false;
}

const HidpValueControl* HidpLayout::valueControl(uint16_t usagePage, uint16_t usage, uint8_t reportId) const {
    for (size_t v = 0; v < valueCount_; ++v) {
        const HidpValueControl& c = values_[v];
        if (c.page == usagePage && c.reportId == reportId && c.usageMin <= usage && usage <= c.usageMax)
            return &c;
    }
    return nullptr;
}

} // namespace obx::windows
