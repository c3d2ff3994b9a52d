#pragma once

// The device below the filter, over a HID source: answers the HID class requests from the source's
// identity and turns its reports into completions of the filter's one read in flight.

#include "HidSource.h"
#include "driver/core/Framework.h"

namespace obx::kernd {

class HidBelow final : public driver::IHidDevice, private IReportSink {
public:
    explicit HidBelow(HidSource& source);
    HidBelow(const HidBelow&) = delete;
    HidBelow& operator=(const HidBelow&) = delete;

    driver::ObxStatus collectionInformation(driver::HidCollectionInformation& info) override;
    driver::ObxStatus collectionDescriptor(std::span<uint8_t> descriptor) override;
    driver::ObxStatus string(driver::HidString which, std::span<uint16_t> buffer) override;
    driver::ObxStatus create(driver::FileObject file) override;
    driver::ObxStatus openReadTarget(driver::FileObject file) override;
    void closeReadTarget() override;
    driver::ObxStatus sendRead(std::span<uint8_t> buffer, driver::IReadCompletion& completion) override;
    driver::ObxStatus getFeature(std::span<uint8_t> report) override;

private:
    void onReport(std::span<const uint8_t> report) override;
    void completeRead(driver::ObxStatus status, uint32_t bytes);

    HidSource& source_;
    const HidIdentity& identity_;
    // The class driver's form starts with the report id; a device without ids gets a 0 byte in front.
    bool prependReportId_ = false;
    bool targetOpen_ = false;
    std::span<uint8_t> readBuffer_;
    driver::IReadCompletion* pendingRead_ = nullptr;
};

} // namespace obx::kernd
