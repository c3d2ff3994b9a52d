#pragma once

#include "driver/core/ButtonProcessor.h"
#include "driver/core/DeviceModels.h"
#include "driver/hid/HidParser.h"

#include <array>
#include <cstdint>
#include <span>

namespace obx::driver {

// Reads one input report with the HID parser and feeds its buttons, movement, wheel and pan to the
// button processor. Every buffer it uses is part of the object: a report allocates nothing.
class ReportProcessor {
public:
    static constexpr uint32_t kMaxUsageList = 256;
    // Report ids whose buttons are followed each on their own; a device with more shares the last.
    static constexpr size_t kButtonReports = 8;

    ReportProcessor(const hid::IHidParser& hid, ButtonProcessor& processor)
        : hid_(hid), processor_(processor) {}

    // Called once the parser has the collection descriptor, with its largest number of Button-page
    // usages in an input report. The caller asks the parser for it: the parser may only be asked at
    // passive level, and `start` runs under the device lock.
    void start(uint16_t productId, uint32_t buttonUsages);
    uint32_t usageListLength() const { return usageListLength_; }

    // `report` is the read buffer; the split-button layout is rewritten in place.
    void process(std::span<uint8_t> report);

private:
    // The buttons that one report id held in its previous report: each report carries only its own.
    struct ButtonReport {
        bool used = false;
        uint8_t reportId = 0;
        uint32_t count = 0;
        std::array<uint16_t, kMaxUsageList> previous{};
    };

    ButtonReport& buttonReport(uint8_t reportId);
    void splitButtonByte(std::span<uint8_t> report);
    void genericButtons(std::span<const uint8_t> report);
    void movementWheelAndPan(std::span<const uint8_t> report);
    static uint32_t maskOf(std::span<const uint16_t> usages);
    // A value of the report, clamped into its field's range as the kernel does; false when it has none.
    bool value(uint16_t page, uint16_t usage, std::span<const uint8_t> report, int32_t& out) const;

    const hid::IHidParser& hid_;
    ButtonProcessor& processor_;
    ReportLayout layout_ = ReportLayout::Generic;
    uint8_t previousButtonByte_ = 0;
    uint32_t usageListLength_ = 0;
    std::array<ButtonReport, kButtonReports> buttonReports_{};
    std::array<uint16_t, kMaxUsageList> current_{};
    std::array<uint16_t, kMaxUsageList> break_{};
    std::array<uint16_t, kMaxUsageList> make_{};
};

} // namespace obx::driver
