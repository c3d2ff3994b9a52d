#include "driver/hid/HidPreparsedData.h"

#include "driver/hid/ReportBits.h"

#include <algorithm>

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

template <typename Visit>
void HidPreparsedData::forEachInputUsage(Visit visit) const {
    for (size_t f = 0; f < fieldCount_; ++f) {
        const InputField& field = fields_[f];
        // A variable field reports one usage an element; an array any usage its logical range reaches.
        const int64_t arrayRange = int64_t{field.logicalMax} - field.logicalMin + 1;
        const uint32_t total = field.isArray ? static_cast<uint32_t>(std::clamp<int64_t>(
                                                   arrayRange, 0, static_cast<int64_t>(totalUsages(field))))
                                             : field.count;
        ElementUsage u;
        for (uint32_t i = 0; i < total; ++i) {
            if (usageAt(field, i, u))
                visit(u.page, u.usage);
        }
    }
}

uint32_t HidPreparsedData::highestUsage(uint16_t usagePage) const {
    uint32_t highest = 0;
    forEachInputUsage([&](uint16_t page, uint16_t usage) {
        if (page == usagePage && usage > highest)
            highest = usage;
    });
    return highest;
}

bool HidPreparsedData::declares(uint16_t usagePage, uint16_t usage) const {
    bool found = false;
    forEachInputUsage([&](uint16_t page, uint16_t u) { found = found || (page == usagePage && u == usage); });
    return found;
}

bool HidPreparsedData::elementUsage(const InputField& field, uint32_t element, uint16_t& page,
                                    uint16_t& usage) const {
    ElementUsage u;
    if (!usageAt(field, element, u))
        return false;
    page = u.page;
    usage = u.usage;
    return true;
}

void HidPreparsedData::clear() {
    caps_ = HidCaps{};
    usesReportIds_ = false;
    fields_.fill(InputField{});
    fieldCount_ = 0;
    spans_.fill(UsageSpan{});
    spanCount_ = 0;
    collections_.fill(CollectionNode{});
    collectionCount_ = 0;
    multipliers_.fill(MultiplierField{});
    multiplierCount_ = 0;
    applications_.fill(0);
    applicationCount_ = 0;
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
                                             std::span<const uint8_t> data, ExcessElements excess,
                                             UsageCollector& out) const {
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
    while (excess == ExcessElements::RepeatLastUsage && element < field.count)
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
                                      std::span<uint16_t> usages, uint32_t& count,
                                      ExcessElements excess) const {
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
            collectVariableUsages(field, usagePage, data, excess, collector);
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

const InputField* HidPreparsedData::variableField(uint16_t usagePage, uint16_t usage,
                                                  std::span<const uint8_t> report, uint32_t& element,
                                                  HidStatus& status) const {
    uint8_t reportId = 0;
    status = checkReport(report, reportId);
    if (status != HidStatus::Success)
        return nullptr;
    bool elsewhere = false;
    for (size_t f = 0; f < fieldCount_; ++f) {
        const InputField& field = fields_[f];
        if (field.isArray || !findElement(field, usagePage, usage, element))
            continue;
        if (field.reportId == reportId)
            return &field;
        elsewhere = true;
    }
    status = resultForMissing(elsewhere);
    return nullptr;
}

HidStatus HidPreparsedData::scaledUsageValue(uint16_t usagePage, uint16_t usage,
                                             std::span<const uint8_t> report, OutOfRange outOfRange,
                                             int32_t& value) const {
    value = 0;
    uint32_t element = 0;
    HidStatus status = HidStatus::Success;
    const InputField* field = variableField(usagePage, usage, report, element, status);
    return field != nullptr ? scaledValue(*field, report.subspan(1), element, outOfRange, value) : status;
}

HidStatus HidPreparsedData::getScaledUsageValue(uint16_t usagePage, uint16_t usage,
                                                std::span<const uint8_t> report, int32_t& value) const {
    return scaledUsageValue(usagePage, usage, report, OutOfRange::Refuse, value);
}

HidStatus HidPreparsedData::getClampedScaledUsageValue(uint16_t usagePage, uint16_t usage,
                                                       std::span<const uint8_t> report,
                                                       int32_t& value) const {
    return scaledUsageValue(usagePage, usage, report, OutOfRange::Clamp, value);
}

HidStatus HidPreparsedData::scaledValue(const InputField& field, std::span<const uint8_t> data,
                                        uint32_t element, OutOfRange outOfRange, int32_t& value) {
    const uint32_t raw = readReportBits(data, field.bitOffset + element * field.bitSize, field.bitSize);
    const int64_t logical = field.logicalMin < 0 ? signExtend(raw, field.bitSize) : static_cast<int64_t>(raw);
    return scaleValue(logical,
                      ValueRange{field.logicalMin, field.logicalMax, field.physicalMin, field.physicalMax},
                      field.hasNullState, outOfRange, value);
}

uint32_t HidPreparsedData::multiplierReports(std::span<uint8_t> ids) const {
    uint32_t n = 0;
    for (size_t m = 0; m < multiplierCount_; ++m) {
        const uint8_t id = multipliers_[m].reportId;
        bool seen = false;
        for (uint32_t i = 0; i < n && !seen; ++i)
            seen = ids[i] == id;
        if (!seen && n < ids.size())
            ids[n++] = id;
    }
    return n;
}

void HidPreparsedData::takeFeatureReport(std::span<const uint8_t> report) {
    if (report.empty())
        return;
    const uint8_t reportId = report[0];
    const std::span<const uint8_t> data = report.subspan(1);
    for (size_t m = 0; m < multiplierCount_; ++m) {
        MultiplierField& mult = multipliers_[m];
        if (mult.reportId != reportId || mult.bitOffset + mult.bitSize > data.size() * 8)
            continue;
        const uint32_t raw = readReportBits(data, mult.bitOffset, mult.bitSize);
        const int64_t v = mult.logicalMin < 0 ? signExtend(raw, mult.bitSize) : static_cast<int64_t>(raw);
        mult.effective = effectiveMultiplier(
            v, ValueRange{mult.logicalMin, mult.logicalMax, mult.physicalMin, mult.physicalMax});
    }
}

int32_t HidPreparsedData::resolutionMultiplier(uint16_t usagePage, uint16_t usage,
                                               std::span<const uint8_t> report) const {
    uint32_t element = 0;
    HidStatus status = HidStatus::Success;
    const InputField* field = variableField(usagePage, usage, report, element, status);
    return field != nullptr && field->multiplier != 0 ? multipliers_[field->multiplier - 1].effective : 1;
}

void HidPreparsedData::linkMultipliers() {
    // Later multipliers win, as in the kernel, which applies them one after another.
    for (size_t m = 0; m < multiplierCount_; ++m) {
        for (size_t f = 0; f < fieldCount_; ++f) {
            if (withinScope(collections(), fields_[f].collection, multipliers_[m].scope))
                fields_[f].multiplier = static_cast<uint8_t>(m + 1);
        }
    }
}

} // namespace obx::hid
