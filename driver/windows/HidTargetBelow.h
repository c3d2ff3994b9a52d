#pragma once

// The HID collection below the filter: its class requests go to the device's own I/O target, the class
// driver's create is passed on to it, and the reads of the read loop go through a second I/O target
// opened on the device below with the class driver's file object.

#include "KernelHeaders.h"
#include "driver/core/Framework.h"

namespace obx::windows {

// The context of each file object of the filter device: the create request while it is handled, so
// that passing it on needs nothing but the file object.
struct ClassFileContext {
    WDFREQUEST createRequest;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(ClassFileContext, classFileContextOf)

class HidTargetBelow final : public driver::IHidDevice {
public:
    explicit HidTargetBelow(WDFDEVICE device) : device_(device) {}

    driver::ObxStatus collectionInformation(driver::HidCollectionInformation& info) override;
    driver::ObxStatus collectionDescriptor(std::span<uint8_t> descriptor) override;
    driver::ObxStatus string(driver::HidString which, std::span<uint16_t> buffer) override;
    driver::ObxStatus create(driver::FileObject file) override;
    driver::ObxStatus openReadTarget(driver::FileObject file) override;
    void closeReadTarget() override;
    driver::ObxStatus sendRead(std::span<uint8_t> buffer, driver::IReadCompletion& completion) override;
    void stopReads() override;
    driver::ObxStatus startReads() override;

private:
    static void readDone(WDFREQUEST request, WDFIOTARGET target, PWDF_REQUEST_COMPLETION_PARAMS params,
                         WDFCONTEXT context);
    driver::ObxStatus classRequest(ULONG code, void* output, size_t size);
    NTSTATUS prepareRequest(std::span<uint8_t> buffer);

    WDFDEVICE device_;
    // Made on open, deleted on close; the file lock of the core keeps the two apart, and its read lock
    // keeps every send before the close.
    WDFIOTARGET readTarget_ = nullptr;
    WDFREQUEST readRequest_ = nullptr;
    WDFMEMORY readMemory_ = nullptr;
    driver::IReadCompletion* completion_ = nullptr;
};

} // namespace obx::windows
