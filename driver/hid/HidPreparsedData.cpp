#include "driver/hid/HidPreparsedData.h"

#include "driver/hid/ReportBits.h"

namespace obx::hid {

uint32_t HidPreparsedData::totalUsages(const InputField& field) const {
    uint32_t total = 0;
    for (uint16_t s = 0; s < field.spanCount; ++s)
        total += spans_[field.firstSpan + s].count();
    return total;
}

bool HidPreparsedData::usageAt(const InputField& field, uint32_t index, ElementUsage& out) const {
    if (field.spanCount == 0)
        return false;
    for (uint16_t s = 0; s < field.spanCount; ++s) {
        const UsageSpan& span = spans_[field.firstSpan + s];
        if (index < span.count()) {
            out = {span.page, static_cast<uint16_t>(span.min + index)};
            return true;
        }
        index -= span.count();
    }
    const UsageSpan& last = spans_[field.firstSpan + field.spanCount - 1];
    out = {last.page, last.max};
    return true;
}

void HidPreparsedData::clear() {
    caps_ = HidCaps{};
    usesReportIds_ = false;
    fields_.fill(InputField{});
    fieldCount_ = 0;
    spans_.fill(UsageSpan{});
    spanCount_ = 0;
    for (auto& bits : reportBits_)
        bits.fill(0);
}

uint32_t HidPreparsedData::usagesOfPage(const InputField& field, uint16_t usagePage) const {
    if (field.isArray)
        return fieldHasPage(field, usagePage) ? field.count : 0;
    uint32_t n = 0;
    ElementUsage u;
    for (uint32_t e = 0; e < field.count; ++e) {
        if (usageAt(field, e, u) && u.page == usagePage)
            ++n;
    }
    return n;
}

uint32_t HidPreparsedData::maxUsageListLength(uint16_t usagePage) const {
    // Summed per report id over the fields of that id, each id once (at its first field), so that no
    // table of all ids is needed.
    uint32_t largest = 0;
    for (size_t f = 0; f < fieldCount_; ++f) {
        const uint8_t id = fields_[f].reportId;
        bool counted = false;
        for (size_t earlier = 0; earlier < f && !counted; ++earlier)
            counted = fields_[earlier].reportId == id;
        if (counted)
            continue;
        uint32_t n = 0;
        for (size_t g = f; g < fieldCount_; ++g) {
            if (fields_[g].reportId == id)
                n += usagesOfPage(fields_[g], usagePage);
        }
        largest = n > largest ? n : largest;
    }
    return largest;
}

HidStatus HidPreparsedData::checkReport(std::span<const uint8_t> report, uint8_t& reportId) const {
    if (report.empty())
        return HidStatus::InvalidReportLength;
    reportId = report[0];
    if (!usesReportIds_ && reportId != 0)
        return HidStatus::IncompatibleReportId;
    // Reports of a device with several report ids may be shorter than the longest one; they must hold
    // every field of their own id.
    const uint32_t inputBytes = (reportBits_[static_cast<size_t>(ReportType::Input)][reportId] + 7) / 8;
    if (report.size() - 1 < inputBytes)
        return HidStatus::InvalidReportLength;
    return HidStatus::Success;
}

HidStatus HidPreparsedData::resultForMissing(bool foundInOtherReport) const {
    return foundInOtherReport ? HidStatus::IncompatibleReportId : HidStatus::UsageNotFound;
}

bool HidPreparsedData::fieldHasPage(const InputField& field, uint16_t usagePage) const {
    for (uint16_t s = 0; s < field.spanCount; ++s) {
        if (spans_[field.firstSpan + s].page == usagePage)
            return true;
    }
    return false;
}

void HidPreparsedData::collectVariableUsages(const InputField& field, uint16_t usagePage,
                                             std::span<const uint8_t> data, UsageCollector& out) const {
    uint32_t element = 0;
    auto visit = [&](uint16_t page, uint16_t usage) {
        if (page == usagePage && usage != 0 &&
            readReportBits(data, field.bitOffset + element * field.bitSize, field.bitSize) != 0)
            out.add(usage);
        ++element;
    };
    for (uint16_t s = 0; s < field.spanCount && element < field.count; ++s) {
        const UsageSpan& span = spans_[field.firstSpan + s];
        for (uint32_t u = span.min; u <= span.max && element < field.count; ++u)
            visit(span.page, static_cast<uint16_t>(u));
    }
    const UsageSpan& last = spans_[field.firstSpan + field.spanCount - 1];
    while (element < field.count)
        visit(last.page, last.max);
}

void HidPreparsedData::collectArrayUsages(const InputField& field, uint16_t usagePage,
                                          std::span<const uint8_t> data, UsageCollector& out) const {
    const uint32_t total = totalUsages(field);
    for (uint32_t e = 0; e < field.count; ++e) {
        const uint32_t raw = readReportBits(data, field.bitOffset + e * field.bitSize, field.bitSize);
        const int64_t value =
            field.logicalMin < 0 ? signExtend(raw, field.bitSize) : static_cast<int64_t>(raw);
        if (value < field.logicalMin || value > field.logicalMax)
            continue; // the null value: no usage in this slot
        const uint32_t index = static_cast<uint32_t>(value - field.logicalMin);
        ElementUsage u;
        if (index < total && usageAt(field, index, u) && u.page == usagePage && u.usage != 0)
            out.add(u.usage);
    }
}

HidStatus HidPreparsedData::getUsages(uint16_t usagePage, std::span<const uint8_t> report,
                                      std::span<uint16_t> usages, uint32_t& count) const {
    count = 0;
    uint8_t reportId = 0;
    if (const HidStatus status = checkReport(report, reportId); status != HidStatus::Success)
        return status;
    const std::span<const uint8_t> data = report.subspan(1);

    bool pageInThisReport = false;
    bool pageElsewhere = false;
    UsageCollector collector{usages};
    for (size_t f = 0; f < fieldCount_; ++f) {
        const InputField& field = fields_[f];
        if (!fieldHasPage(field, usagePage))
            continue;
        if (field.reportId != reportId) {
            pageElsewhere = true;
            continue;
        }
        pageInThisReport = true;
        if (field.isArray)
            collectArrayUsages(field, usagePage, data, collector);
        else
            collectVariableUsages(field, usagePage, data, collector);
    }
    if (!pageInThisReport)
        return resultForMissing(pageElsewhere);
    count = collector.needed;
    return collector.needed > usages.size() ? HidStatus::BufferTooSmall : HidStatus::Success;
}

bool HidPreparsedData::findElement(const InputField& field, uint16_t usagePage, uint16_t usage,
                                   uint32_t& element) const {
    uint32_t index = 0;
    for (uint16_t s = 0; s < field.spanCount && index < field.count; ++s) {
        const UsageSpan& span = spans_[field.firstSpan + s];
        if (span.page == usagePage && usage >= span.min && usage <= span.max) {
            element = index + (usage - span.min);
            return element < field.count;
        }
        index += span.count();
    }
    return false;
}

HidStatus HidPreparsedData::getScaledUsageValue(uint16_t usagePage, uint16_t usage,
                                                std::span<const uint8_t> report, int32_t& value) const {
    value = 0;
    uint8_t reportId = 0;
    if (const HidStatus status = checkReport(report, reportId); status != HidStatus::Success)
        return status;
    bool elsewhere = false;
    for (size_t f = 0; f < fieldCount_; ++f) {
        const InputField& field = fields_[f];
        uint32_t element = 0;
        if (field.isArray || !findElement(field, usagePage, usage, element))
            continue;
        if (field.reportId != reportId) {
            elsewhere = true;
            continue;
        }
        return scaledValue(field, report.subspan(1), element, value);
    }
    return resultForMissing(elsewhere);
}

HidStatus HidPreparsedData::scaledValue(const InputField& field, std::span<const uint8_t> data,
                                        uint32_t element, int32_t& value) {
    int64_t physMin = field.physicalMin;
    int64_t physMax = field.physicalMax;
    if (physMin == 0 && physMax == 0) {
        physMin = field.logicalMin;
        physMax = field.logicalMax;
    }
    if (field.logicalMin >= field.logicalMax || physMin >= physMax)
        return HidStatus::BadLogPhyValues;
    const uint32_t raw = readReportBits(data, field.bitOffset + element * field.bitSize, field.bitSize);
    const int64_t logical = field.logicalMin < 0 ? signExtend(raw, field.bitSize) : static_cast<int64_t>(raw);
    if (logical < field.logicalMin || logical > field.logicalMax)
        return field.hasNullState ? HidStatus::Null : HidStatus::ValueOutOfRange;
    // Both ranges span at most 2^32, so the product fits in 64 unsigned bits.
    const uint64_t offset = static_cast<uint64_t>(logical - field.logicalMin);
    const uint64_t physRange = static_cast<uint64_t>(physMax - physMin);
    const uint64_t logRange = static_cast<uint64_t>(int64_t{field.logicalMax} - field.logicalMin);
    value = static_cast<int32_t>(physMin + static_cast<int64_t>(offset * physRange / logRange));
    return HidStatus::Success;
}

} // namespace obx::hid
