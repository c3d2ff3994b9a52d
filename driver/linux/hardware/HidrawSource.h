#pragma once

// The HID source of a real trackball: its hidraw node, read without blocking in the daemon's loop.
// The identity comes from the node (open): the report descriptor (HIDIOCGRDESC), the ids
// (HIDIOCGRAWINFO), and the product and serial texts unless the caller knows better ones (a USB
// device's own strings).

#include "../EventLoop.h"
#include "../HidSource.h"
#include "../UniqueFd.h"
#include "driver/hid/HidPreparsedData.h"

#include <array>
#include <memory>
#include <string>

namespace obx::kernd {

struct HidrawTexts {
    std::string product; // empty: HIDIOCGRAWNAME
    std::string serial;  // empty: HIDIOCGRAWUNIQ
};

class HidrawSource final : public HidSource, private IEventHandler {
public:
    // Opens the node and reads its identity. Throws std::runtime_error.
    static std::unique_ptr<HidrawSource> open(EventLoop& loop, std::string devnode, uint16_t version,
                                              const HidrawTexts& texts);
    // Reads `fd`, open already, one input report a read; the identity as the caller learnt it.
    HidrawSource(EventLoop& loop, std::string devnode, UniqueFd fd, HidIdentity identity, uint16_t vendorId,
                 std::string productName);
    ~HidrawSource() override;
    HidrawSource(const HidrawSource&) = delete;
    HidrawSource& operator=(const HidrawSource&) = delete;

    const HidIdentity& identity() const override { return identity_; }
    void attach(IReportSink& sink) override { sink_ = &sink; }
    // HIDIOCGFEATURE: the device's feature report as it is now (the kernel set its Resolution
    // Multipliers when it bound the device).
    bool getFeature(std::span<uint8_t> report) override;

    uint16_t vendorId() const { return vendorId_; }
    const std::string& devnode() const { return devnode_; }
    // The product text in UTF-8, for names shown to people.
    const std::string& productName() const { return productName_; }

private:
    void onEvents(uint32_t events) override;
    void stopReading(const char* why);

    EventLoop& loop_;
    std::string devnode_;
    UniqueFd fd_;
    HidIdentity identity_;
    uint16_t vendorId_ = 0;
    std::string productName_;
    IReportSink* sink_ = nullptr;
    bool reading_ = false;
    std::array<uint8_t, hid::HidPreparsedData::kMaxReportBytes> report_{};
};

} // namespace obx::kernd
