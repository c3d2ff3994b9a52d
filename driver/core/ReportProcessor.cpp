#include "driver/core/ReportProcessor.h"

#include <algorithm>

namespace obx::driver {

using hid::HidStatus;

namespace {
constexpr size_t kSplitReportLength = 6;
// Usages 31 and up have no bit of their own: bits 30 and 31 are the pan.
constexpr uint16_t kHighestMaskedUsage = 30;
} // namespace

void ReportProcessor::start(uint16_t productId, uint32_t buttonUsages) {
    layout_ = layoutFor(productId);
    previousButtonByte_ = 0;
    usageListLength_ = std::min(buttonUsages, kMaxUsageList);
    current_.fill(0);
    buttonReports_.fill(ButtonReport{});
}

ReportProcessor::ButtonReport& ReportProcessor::buttonReport(uint8_t reportId) {
    for (ButtonReport& r : buttonReports_) {
        if (!r.used) {
            r.used = true;
            r.reportId = reportId;
            return r;
        }
        if (r.reportId == reportId)
            return r;
    }
    return buttonReports_.back();
}

void ReportProcessor::process(std::span<uint8_t> report) {
    if (layout_ == ReportLayout::SplitButtonByte) {
        // This model's buttons are known only in its 6-byte form; its other reports carry none that
        // the generic reading could place right.
        if (report.size() == kSplitReportLength)
            splitButtonByte(report);
    } else {
        genericButtons(report);
    }
    movementWheelAndPan(report);
}

void ReportProcessor::splitButtonByte(std::span<uint8_t> report) {
    const uint8_t buttons = static_cast<uint8_t>(report[1] | ((report[5] & 0x03) << 2));
    report[1] = buttons;
    report[5] = 0;
    if (buttons == previousButtonByte_)
        return;
    const uint8_t old = previousButtonByte_;
    previousButtonByte_ = buttons;
    // Each changed bit goes the way it went, also when one report presses one button and releases
    // another.
    const uint8_t changed = old ^ buttons;
    processor_.buttonChange(changed & buttons, changed & old);
}

void ReportProcessor::genericButtons(std::span<const uint8_t> report) {
    const uint32_t n = usageListLength_;
    const std::span<uint16_t> current(current_.data(), n);
    // Stale usages past the new count would hide releases from the difference below.
    std::fill(current.begin(), current.end(), uint16_t{0});
    uint32_t count = 0;
    if (hid_.getUsages(hid::kPageButton, report, current, count) != HidStatus::Success)
        return;
    // The report id byte is there: the parser has taken the report.
    ButtonReport& previous = buttonReport(report[0]);
    if (count == 0 && previous.count == 0)
        return;
    std::fill_n(break_.begin(), n, uint16_t{0});
    std::fill_n(make_.begin(), n, uint16_t{0});
    const uint32_t length = std::max(count, previous.count);
    if (hid_.usageListDifference(std::span(previous.previous.data(), n), current, std::span(break_.data(), n),
                                 std::span(make_.data(), n), length) != HidStatus::Success)
        return;
    const uint32_t pressed = maskOf(std::span(make_.data(), length));
    const uint32_t released = maskOf(std::span(break_.data(), length));
    std::copy_n(current_.begin(), n, previous.previous.begin());
    previous.count = count;
    if (make_[0] != 0 || break_[0] != 0)
        processor_.buttonChange(pressed, released);
}

uint32_t ReportProcessor::maskOf(std::span<const uint16_t> usages) {
    uint32_t mask = 0;
    for (uint16_t u : usages) {
        if (u == 0)
            break;
        if (u <= kHighestMaskedUsage)
            mask |= 1u << (u - 1);
    }
    return mask;
}

void ReportProcessor::movementWheelAndPan(std::span<const uint8_t> report) {
    // Each axis on its own: one that the report lacks, or holds as a null value, leaves the other.
    int32_t x = 0;
    int32_t y = 0;
    const bool haveX = value(hid::kPageGenericDesktop, hid::kUsageX, report, x);
    const bool haveY = value(hid::kPageGenericDesktop, hid::kUsageY, report, y);
    if ((haveX || haveY) && (x != 0 || y != 0))
        processor_.movement(x, y);
    int32_t wheel = 0;
    if (value(hid::kPageGenericDesktop, hid::kUsageWheel, report, wheel) && wheel != 0)
        processor_.verticalWheel(wheelDeltaOf(
            wheel, hid_.resolutionMultiplier(hid::kPageGenericDesktop, hid::kUsageWheel, report)));
    int32_t pan = 0;
    if (value(hid::kPageConsumer, hid::kUsageAcPan, report, pan))
        processor_.pan(pan, hid_.resolutionMultiplier(hid::kPageConsumer, hid::kUsageAcPan, report));
}

bool ReportProcessor::value(uint16_t page, uint16_t usage, std::span<const uint8_t> report,
                            int32_t& out) const {
    if (hid_.getClampedScaledUsageValue(page, usage, report, out) == HidStatus::Success)
        return true;
    out = 0; // a parser may leave anything there on a failure
    return false;
}

} // namespace obx::driver
