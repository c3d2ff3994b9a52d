#include "ClassDriver.h"

#include "Log.h"

#include <cstdio>
#include <stdexcept>

namespace obx::kernd {

namespace {

[[noreturn]] void refused(const char* what, driver::ObxStatus status) {
    char text[96];
    std::snprintf(text, sizeof text, "the device refused the %s (status 0x%08X)", what, status);
    throw std::runtime_error(text);
}

} // namespace

void ClassDriver::open() {
    driver::MouseAttributes attributes{};
    const driver::Completion query = device_.internalDeviceControl(
        driver::kMouseQueryAttributes, std::span(reinterpret_cast<uint8_t*>(&attributes), sizeof attributes));
    if (query.status != OBX_STATUS_SUCCESS)
        refused("attributes query", query.status);
    logf(LogLevel::debug, "mouse attributes: identifier 0x%04X, %u buttons", attributes.mouseIdentifier,
         attributes.numberOfButtons);

    const driver::Completion connected = device_.connect(*this);
    if (connected.status != OBX_STATUS_SUCCESS)
        refused("connect", connected.status);

    const driver::ObxStatus created = device_.fileCreate(&file_, false);
    if (created != OBX_STATUS_SUCCESS)
        refused("create", created);
    open_ = true;
}

void ClassDriver::close() {
    if (open_)
        device_.fileClose(&file_);
    open_ = false;
}

void ClassDriver::serviceCallback(std::span<const driver::MouseInputData> packets) {
    for (const driver::MouseInputData& packet : packets)
        sink_.deliver(packet);
}

} // namespace obx::kernd
