#include "PointingSummary.h"

#include "driver/hid/HidDescriptorParser.h"

#include <algorithm>
#include <memory>

namespace obx::kernd {

namespace {

constexpr uint32_t kMouse = uint32_t{hid::kPageGenericDesktop} << 16 | 0x02;
constexpr uint32_t kPointer = uint32_t{hid::kPageGenericDesktop} << 16 | 0x01;
// Array fields can name many usages; a descriptor's buttons are among the first ones.
constexpr uint32_t kMaxArrayUsages = 4096;

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
    bool x = false, y = false;
    for (const hid::InputField& field : parsed->inputFields()) {
        const uint32_t elements =
            field.isArray ? std::min<uint32_t>(uint32_t(int64_t{field.logicalMax} - field.logicalMin + 1),
                                               kMaxArrayUsages)
                          : field.count;
        for (uint32_t e = 0; e < elements; ++e) {
            uint16_t page = 0, usage = 0;
            if (!parsed->elementUsage(field, e, page, usage))
                continue;
            if (page == hid::kPageButton)
                summary.buttons = std::max<uint32_t>(summary.buttons, usage);
            x = x || (page == hid::kPageGenericDesktop && usage == hid::kUsageX);
            y = y || (page == hid::kPageGenericDesktop && usage == hid::kUsageY);
            summary.wheel = summary.wheel || (page == hid::kPageGenericDesktop && usage == hid::kUsageWheel);
            summary.pan = summary.pan || (page == hid::kPageConsumer && usage == hid::kUsageAcPan);
        }
    }
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
