#include "PointingSummary.h"

#include "driver/hid/HidDescriptorParser.h"

#include <algorithm>
#include <memory>

namespace obx::kernd {

namespace {

constexpr uint32_t kMouse = uint32_t{hid::kPageGenericDesktop} << 16 | 0x02;
constexpr uint32_t kPointer = uint32_t{hid::kPageGenericDesktop} << 16 | 0x01;

} // namespace

PointingSummary PointingSummary::of(std::span<const uint8_t> descriptor) {
    PointingSummary summary;
    const auto parsed = std::make_unique<hid::HidPreparsedData>();
    if (hid::HidDescriptorParser::parse(descriptor, *parsed) != hid::HidStatus::Success) {
        summary.unservable = "its report descriptor is refused";
        return summary;
    }
    const auto applications = parsed->applications();
    summary.pointing = std::any_of(applications.begin(), applications.end(),
                                   [](uint32_t usage) { return usage == kMouse || usage == kPointer; });
    summary.buttons = parsed->highestUsage(hid::kPageButton);
    summary.wheel = parsed->declares(hid::kPageGenericDesktop, hid::kUsageWheel);
    summary.pan = parsed->declares(hid::kPageConsumer, hid::kUsageAcPan);
    const bool x = parsed->declares(hid::kPageGenericDesktop, hid::kUsageX);
    const bool y = parsed->declares(hid::kPageGenericDesktop, hid::kUsageY);
    if (!x || !y)
        summary.unservable = "it has no X and Y";
    return summary;
}

std::string PointingSummary::describe() const {
    std::string text = std::to_string(buttons) + (buttons == 1 ? " button" : " buttons");
    if (wheel)
        text += ", wheel";
    if (pan)
        text += ", pan";
    if (!unservable.empty())
        text += "; not servable: " + unservable;
    return text;
}

} // namespace obx::kernd
