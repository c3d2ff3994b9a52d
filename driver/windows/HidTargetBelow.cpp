#include "HidTargetBelow.h"

#include "Status.h"

namespace obx::windows {

using driver::ObxStatus;

static_assert(sizeof(HID_COLLECTION_INFORMATION) == 12, "the 12-byte collection information");

driver::ObxStatus HidTargetBelow::classRequest(ULONG code, void* output, size_t size) {
    WDF_MEMORY_DESCRIPTOR descriptor;
    WDF_MEMORY_DESCRIPTOR_INIT_BUFFER(&descriptor, output, static_cast<ULONG>(size));
    return toObxStatus(WdfIoTargetSendIoctlSynchronously(WdfDeviceGetIoTarget(device_), nullptr, code,
                                                         nullptr, &descriptor, nullptr, nullptr));
}

ObxStatus HidTargetBelow::collectionInformation(driver::HidCollectionInformation& info) {
    HID_COLLECTION_INFORMATION collection{};
    const ObxStatus status =
        classRequest(IOCTL_HID_GET_COLLECTION_INFORMATION, &collection, sizeof collection);
    if (status != OBX_STATUS_SUCCESS)
        return status;
    info.productId = collection.ProductID;
    info.versionNumber = collection.VersionNumber;
    info.descriptorSize = collection.DescriptorSize;
    return OBX_STATUS_SUCCESS;
}

ObxStatus HidTargetBelow::collectionDescriptor(std::span<uint8_t> descriptor) {
    return classRequest(IOCTL_HID_GET_COLLECTION_DESCRIPTOR, descriptor.data(), descriptor.size());
}

ObxStatus HidTargetBelow::string(driver::HidString which, std::span<uint16_t> buffer) {
    const ULONG code = which == driver::HidString::Product ? IOCTL_HID_GET_PRODUCT_STRING
                                                           : IOCTL_HID_GET_SERIALNUMBER_STRING;
    return classRequest(code, buffer.data(), buffer.size_bytes());
}

ObxStatus HidTargetBelow::create(driver::FileObject file) {
    const WDFREQUEST request =
        classFileContextOf(static_cast<WDFFILEOBJECT>(const_cast<void*>(file)))->createRequest;
    WDF_REQUEST_SEND_OPTIONS options;
    WDF_REQUEST_SEND_OPTIONS_INIT(&options, WDF_REQUEST_SEND_OPTION_SYNCHRONOUS);
    WdfRequestFormatRequestUsingCurrentType(request);
    WdfRequestSend(request, WdfDeviceGetIoTarget(device_), &options);
    return toObxStatus(WdfRequestGetStatus(request));
}

ObxStatus HidTargetBelow::openReadTarget(driver::FileObject file) {
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = device_;
    WDFIOTARGET target = nullptr;
    NTSTATUS status = WdfIoTargetCreate(device_, &attributes, &target);
    if (!NT_SUCCESS(status))
        return toObxStatus(status);
    WDF_IO_TARGET_OPEN_PARAMS open;
    WDF_IO_TARGET_OPEN_PARAMS_INIT_EXISTING_DEVICE(&open, WdfDeviceWdmGetAttachedDevice(device_));
    // Reads carry the class driver's file object, which the HID class knows from its create.
    open.TargetFileObject =
        WdfFileObjectWdmGetFileObject(static_cast<WDFFILEOBJECT>(const_cast<void*>(file)));
    status = WdfIoTargetOpen(target, &open);
    WDFREQUEST request = nullptr;
    if (NT_SUCCESS(status)) {
        WDF_OBJECT_ATTRIBUTES requestAttributes;
        WDF_OBJECT_ATTRIBUTES_INIT(&requestAttributes);
        requestAttributes.ParentObject = target;
        status = WdfRequestCreate(&requestAttributes, target, &request);
    }
    if (!NT_SUCCESS(status)) {
        WdfObjectDelete(target);
        return toObxStatus(status);
    }
    readTarget_ = target;
    readRequest_ = request;
    readMemory_ = nullptr;
    return OBX_STATUS_SUCCESS;
}

void HidTargetBelow::closeReadTarget() {
    if (readTarget_ == nullptr)
        return;
    // Cancels the read in flight and waits for its completion, which then sends no other.
    WdfIoTargetClose(readTarget_);
    WdfObjectDelete(readTarget_); // the request and its memory are its children
    readTarget_ = nullptr;
    readRequest_ = nullptr;
    readMemory_ = nullptr;
}

void HidTargetBelow::stopReads() {
    // A remote target is not stopped with the device by the framework. This cancels the read in flight
    // and waits for its completion.
    if (readTarget_ != nullptr)
        WdfIoTargetStop(readTarget_, WdfIoTargetCancelSentIo);
}

ObxStatus HidTargetBelow::startReads() {
    return readTarget_ == nullptr ? OBX_STATUS_SUCCESS : toObxStatus(WdfIoTargetStart(readTarget_));
}

NTSTATUS HidTargetBelow::prepareRequest(std::span<uint8_t> buffer) {
    WDF_REQUEST_REUSE_PARAMS reuse;
    WDF_REQUEST_REUSE_PARAMS_INIT(&reuse, WDF_REQUEST_REUSE_NO_FLAGS, STATUS_SUCCESS);
    NTSTATUS status = WdfRequestReuse(readRequest_, &reuse);
    if (!NT_SUCCESS(status))
        return status;
    // The buffer is the core's, in the device's non-paged context; the memory object only points at it.
    if (readMemory_ == nullptr) {
        WDF_OBJECT_ATTRIBUTES attributes;
        WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
        attributes.ParentObject = readRequest_;
        status = WdfMemoryCreatePreallocated(&attributes, buffer.data(), buffer.size(), &readMemory_);
    } else {
        status = WdfMemoryAssignBuffer(readMemory_, buffer.data(), buffer.size());
    }
    if (!NT_SUCCESS(status))
        return status;
    return WdfIoTargetFormatRequestForRead(readTarget_, readRequest_, readMemory_, nullptr, nullptr);
}

ObxStatus HidTargetBelow::sendRead(std::span<uint8_t> buffer, driver::IReadCompletion& completion) {
    if (readRequest_ == nullptr)
        return OBX_STATUS_INTERNAL_ERROR;
    const NTSTATUS status = prepareRequest(buffer);
    if (!NT_SUCCESS(status))
        return toObxStatus(status);
    completion_ = &completion;
    WdfRequestSetCompletionRoutine(readRequest_, readDone, this);
    if (!WdfRequestSend(readRequest_, readTarget_, WDF_NO_SEND_OPTIONS))
        return toObxStatus(WdfRequestGetStatus(readRequest_));
    return OBX_STATUS_SUCCESS;
}

void HidTargetBelow::readDone(WDFREQUEST, WDFIOTARGET, PWDF_REQUEST_COMPLETION_PARAMS params,
                              WDFCONTEXT context) {
    const auto self = static_cast<HidTargetBelow*>(context);
    self->completion_->readCompleted(toObxStatus(params->IoStatus.Status),
                                     static_cast<uint32_t>(params->IoStatus.Information));
}

} // namespace obx::windows
