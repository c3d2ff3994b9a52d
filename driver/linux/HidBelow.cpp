#include "HidBelow.h"

#include "Log.h"
#include "driver/hid/HidDescriptorParser.h"

#include <algorithm>
#include <memory>

namespace obx::kernd {

using driver::ObxStatus;

HidBelow::HidBelow(HidSource& source) : source_(source), identity_(source.identity()) {
    const auto parsed = std::make_unique<hid::HidPreparsedData>();
    // A descriptor that does not parse fails the device's start, which reports it.
    if (hid::HidDescriptorParser::parse(identity_.descriptor, *parsed) == hid::HidStatus::Success)
        prependReportId_ = !parsed->usesReportIds();
    source.attach(*this);
}

ObxStatus HidBelow::collectionInformation(driver::HidCollectionInformation& info) {
    info.productId = identity_.productId;
    info.versionNumber = identity_.versionNumber;
    info.descriptorSize = static_cast<uint32_t>(identity_.descriptor.size());
    return OBX_STATUS_SUCCESS;
}

ObxStatus HidBelow::collectionDescriptor(std::span<uint8_t> descriptor) {
    if (descriptor.size() < identity_.descriptor.size())
        return OBX_STATUS_BUFFER_TOO_SMALL;
    std::copy(identity_.descriptor.begin(), identity_.descriptor.end(), descriptor.begin());
    return OBX_STATUS_SUCCESS;
}

ObxStatus HidBelow::string(driver::HidString which, std::span<uint16_t> buffer) {
    const std::u16string& text =
        which == driver::HidString::Product ? identity_.product : identity_.serialNumber;
    if (buffer.empty())
        return OBX_STATUS_BUFFER_TOO_SMALL;
    const size_t n = std::min(text.size(), buffer.size() - 1);
    std::copy_n(text.begin(), n, buffer.begin());
    buffer[n] = 0;
    return OBX_STATUS_SUCCESS;
}

ObxStatus HidBelow::create(driver::FileObject) {
    return OBX_STATUS_SUCCESS;
}

ObxStatus HidBelow::openReadTarget(driver::FileObject) {
    targetOpen_ = true;
    return OBX_STATUS_SUCCESS;
}

void HidBelow::closeReadTarget() {
    targetOpen_ = false;
    completeRead(OBX_STATUS_CANCELLED, 0);
}

ObxStatus HidBelow::sendRead(std::span<uint8_t> buffer, driver::IReadCompletion& completion) {
    if (!targetOpen_)
        return OBX_STATUS_INTERNAL_ERROR;
    readBuffer_ = buffer;
    pendingRead_ = &completion;
    return OBX_STATUS_SUCCESS;
}

ObxStatus HidBelow::getFeature(std::span<uint8_t> report) {
    if (report.empty())
        return OBX_STATUS_BUFFER_TOO_SMALL;
    return source_.getFeature(report) ? OBX_STATUS_SUCCESS : OBX_STATUS_NOT_SUPPORTED;
}

void HidBelow::onReport(std::span<const uint8_t> report) {
    if (pendingRead_ == nullptr) {
        logf(LogLevel::debug, "report dropped: no read in flight");
        return;
    }
    const size_t offset = prependReportId_ ? 1 : 0;
    if (report.size() + offset > readBuffer_.size()) {
        logf(LogLevel::warning, "report of %zu bytes dropped: the device's reports have %zu", report.size(),
             readBuffer_.size() - offset);
        return;
    }
    if (prependReportId_)
        readBuffer_[0] = 0;
    std::copy(report.begin(), report.end(), readBuffer_.begin() + static_cast<ptrdiff_t>(offset));
    completeRead(OBX_STATUS_SUCCESS, static_cast<uint32_t>(report.size() + offset));
}

void HidBelow::completeRead(ObxStatus status, uint32_t bytes) {
    driver::IReadCompletion* completion = pendingRead_;
    if (completion == nullptr)
        return;
    pendingRead_ = nullptr;
    // The completion sends the next read, which sets pendingRead_ again.
    completion->readCompleted(status, bytes);
}

} // namespace obx::kernd
