// The framework's I/O target functions and the sending of requests, with the HID collection below the
// filter answering what the driver sends it.

#include "FrameworkState.h"
#include "Verifier.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace obx::kmdf_double {

namespace {

// The HID class completes a read at once when it has kept a report, else when one comes.
void readFromBelow(IoTarget& target, Request& request) {
    HidCollectionBelow& below = target.device.below;
    if (below.createdFiles.count(target.file) == 0)
        Verifier::violation("a read was sent below with a file object the HID class has no create for");
    target.pendingRead = &request;
    if (!below.keptReports.empty()) {
        const std::vector<uint8_t> report = below.keptReports.front();
        below.keptReports.pop_front();
        std::memcpy(request.readMemory->buffer, report.data(),
                    std::min(report.size(), request.readMemory->size));
        target.pendingRead = nullptr;
        completeSentRequest(request, STATUS_SUCCESS, std::min(report.size(), request.readMemory->size));
    }
}

// The read in flight is cancelled and the call waits for its completion.
void cancelPendingRead(IoTarget& target) {
    if (Request* read = std::exchange(target.pendingRead, nullptr))
        atIrql(kDispatchLevel, "the read's completion routine",
               [&] { completeSentRequest(*read, STATUS_CANCELLED, 0); });
}

BOOLEAN requestSend(Globals, WDFREQUEST handle, WDFIOTARGET targetHandle, PWDF_REQUEST_SEND_OPTIONS options) {
    Request* request = requestOf(handle, "WdfRequestSend");
    IoTarget* target = as<IoTarget>(targetHandle, Kind::IoTarget, "WdfRequestSend");
    const bool synchronous = options != nullptr && (options->Flags & WDF_REQUEST_SEND_OPTION_SYNCHRONOUS);
    if (synchronous)
        Verifier::requirePassive("WdfRequestSend (synchronous)");
    else
        Verifier::requireAtMost(kDispatchLevel, "WdfRequestSend");
    if (request->type == WdfRequestTypeDeviceControlInternal) {
        // A class driver's request passed on: the drivers below complete it.
        const bool forget = options != nullptr && (options->Flags & WDF_REQUEST_SEND_OPTION_SEND_AND_FORGET);
        if (!forget || target->remote)
            Verifier::violation("an internal request was passed on otherwise than sent and forgotten to the "
                                "device's own target");
        state().passedDown.push_back(request->code);
        ++request->record->completions;
        request->record->status = static_cast<uint32_t>(STATUS_SUCCESS);
        deleteObject(*request);
        return TRUE;
    }
    if (request->type == WdfRequestTypeCreate) {
        // The class driver's create, passed down: the HID class opens the file object.
        if (!synchronous || target->remote)
            Verifier::violation("the create was not sent synchronously to the device's own target");
        target->device.below.createdFiles.insert(&request->file->wdm);
        request->status = STATUS_SUCCESS;
        return TRUE;
    }
    if (request->sent)
        Verifier::violation("WdfRequestSend called on " + request->name + ", which is already sent");
    if (!target->remote || !target->open || !target->started || request->formattedFor != target ||
        request->completion == nullptr) {
        Verifier::violation("WdfRequestSend: " + request->name +
                            " is not a formatted read of an open, started target");
        request->status = STATUS_INVALID_DEVICE_STATE;
        return FALSE;
    }
    FrameworkState& s = state();
    s.maxSendDepth = std::max(s.maxSendDepth, ++s.sendDepth);
    request->sent = true;
    readFromBelow(*target, *request);
    --s.sendDepth;
    return TRUE;
}

NTSTATUS ioTargetCreate(Globals, WDFDEVICE device, PWDF_OBJECT_ATTRIBUTES attributes, WDFIOTARGET* target) {
    Device* owner = as<Device>(device, Kind::Device, "WdfIoTargetCreate");
    Verifier::requirePassive("WdfIoTargetCreate");
    *target = reinterpret_cast<WDFIOTARGET>(
        makeObject<IoTarget>("WdfIoTargetCreate", attributes, owner, *owner, true, "the read target"));
    return STATUS_SUCCESS;
}

NTSTATUS ioTargetOpen(Globals, WDFIOTARGET handle, PWDF_IO_TARGET_OPEN_PARAMS params) {
    IoTarget* target = as<IoTarget>(handle, Kind::IoTarget, "WdfIoTargetOpen");
    Verifier::requirePassive("WdfIoTargetOpen");
    if (params->Type != WdfIoTargetOpenUseExistingDevice ||
        params->TargetDeviceObject != &target->device.wdmBelow)
        Verifier::violation("WdfIoTargetOpen: the read target is not the device below");
    target->open = true;
    target->file = params->TargetFileObject;
    return STATUS_SUCCESS;
}

void ioTargetClose(Globals, WDFIOTARGET handle) {
    IoTarget* target = as<IoTarget>(handle, Kind::IoTarget, "WdfIoTargetClose");
    Verifier::requirePassive("WdfIoTargetClose");
    target->open = false;
    cancelPendingRead(*target);
}

void ioTargetStop(Globals, WDFIOTARGET handle, WDF_IO_TARGET_SENT_IO_ACTION action) {
    IoTarget* target = as<IoTarget>(handle, Kind::IoTarget, "WdfIoTargetStop");
    Verifier::requirePassive("WdfIoTargetStop");
    target->started = false;
    if (action == WdfIoTargetCancelSentIo)
        cancelPendingRead(*target);
    else if (target->pendingRead != nullptr)
        Verifier::violation("WdfIoTargetStop left a read in flight on a device leaving its working state");
}

NTSTATUS ioTargetStart(Globals, WDFIOTARGET handle) {
    IoTarget* target = as<IoTarget>(handle, Kind::IoTarget, "WdfIoTargetStart");
    Verifier::requirePassive("WdfIoTargetStart");
    target->started = true;
    return STATUS_SUCCESS;
}

NTSTATUS formatForRead(Globals, WDFIOTARGET targetHandle, WDFREQUEST handle, WDFMEMORY memory,
                       PWDFMEMORY_OFFSET offset, PLONGLONG deviceOffset) {
    IoTarget* target = as<IoTarget>(targetHandle, Kind::IoTarget, "WdfIoTargetFormatRequestForRead");
    Request* request = requestOf(handle, "WdfIoTargetFormatRequestForRead");
    if (offset != nullptr || deviceOffset != nullptr)
        Verifier::violation("WdfIoTargetFormatRequestForRead: an offset for a HID read");
    request->formattedFor = target;
    request->readMemory = as<Memory>(memory, Kind::Memory, "WdfIoTargetFormatRequestForRead");
    return STATUS_SUCCESS;
}

// The HID class's answers to the collection requests.
NTSTATUS answerHidRequest(Device& device, ULONG code, PWDF_MEMORY_DESCRIPTOR output, ULONG_PTR* returned) {
    const HidModel& model = device.below.model;
    if (output == nullptr || output->Type != WdfMemoryDescriptorTypeBuffer)
        return STATUS_INVALID_PARAMETER;
    void* buffer = output->u.BufferType.Buffer;
    const size_t size = output->u.BufferType.Length;
    auto answer = [&](const void* data, size_t length) {
        if (size < length)
            return STATUS_BUFFER_TOO_SMALL;
        std::memcpy(buffer, data, length);
        if (returned != nullptr)
            *returned = length;
        return STATUS_SUCCESS;
    };
    switch (code) {
    case IOCTL_HID_GET_COLLECTION_INFORMATION: {
        HID_COLLECTION_INFORMATION info{};
        info.DescriptorSize = static_cast<ULONG>(model.reportDescriptor.size());
        info.VendorID = model.vendorId;
        info.ProductID = model.productId;
        info.VersionNumber = model.versionNumber;
        return answer(&info, sizeof info);
    }
    case IOCTL_HID_GET_COLLECTION_DESCRIPTOR:
        // The double's parser takes the report descriptor itself as its preparsed data.
        registerPreparsedSize(buffer, model.reportDescriptor.size());
        return answer(model.reportDescriptor.data(), model.reportDescriptor.size());
    case IOCTL_HID_GET_PRODUCT_STRING:
    case IOCTL_HID_GET_SERIALNUMBER_STRING: {
        const std::wstring& text = code == IOCTL_HID_GET_PRODUCT_STRING ? model.product : model.serialNumber;
        return answer(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

NTSTATUS sendIoctlSynchronously(Globals, WDFIOTARGET handle, WDFREQUEST request, ULONG code,
                                PWDF_MEMORY_DESCRIPTOR, PWDF_MEMORY_DESCRIPTOR output,
                                PWDF_REQUEST_SEND_OPTIONS, PULONG_PTR returned) {
    IoTarget* target = as<IoTarget>(handle, Kind::IoTarget, "WdfIoTargetSendIoctlSynchronously");
    Verifier::requirePassive("WdfIoTargetSendIoctlSynchronously");
    if (request != nullptr)
        requestOf(request, "WdfIoTargetSendIoctlSynchronously");
    return answerHidRequest(target->device, code, output, returned);
}

} // namespace

void IoTarget::deleting() {
    if (pendingRead != nullptr)
        Verifier::violation(name + " deleted with a read in flight: its completion would never come");
}

void completeSentRequest(Request& request, NTSTATUS status, ULONG_PTR information) {
    request.sent = false;
    request.status = status;
    request.information = information;
    WDF_REQUEST_COMPLETION_PARAMS params;
    WDF_REQUEST_COMPLETION_PARAMS_INIT(&params);
    params.IoStatus.Status = status;
    params.IoStatus.Information = information;
    params.Type = WdfRequestTypeRead;
    request.completion(reinterpret_cast<WDFREQUEST>(&request),
                       reinterpret_cast<WDFIOTARGET>(request.formattedFor), &params,
                       request.completionContext);
}

void installIoTargetFunctions(WDFFUNC* t) {
    install<PFN_WDFREQUESTSEND>(t, WdfRequestSendTableIndex, requestSend);
    install<PFN_WDFIOTARGETCREATE>(t, WdfIoTargetCreateTableIndex, ioTargetCreate);
    install<PFN_WDFIOTARGETOPEN>(t, WdfIoTargetOpenTableIndex, ioTargetOpen);
    install<PFN_WDFIOTARGETCLOSE>(t, WdfIoTargetCloseTableIndex, ioTargetClose);
    install<PFN_WDFIOTARGETSTOP>(t, WdfIoTargetStopTableIndex, ioTargetStop);
    install<PFN_WDFIOTARGETSTART>(t, WdfIoTargetStartTableIndex, ioTargetStart);
    install<PFN_WDFIOTARGETFORMATREQUESTFORREAD>(t, WdfIoTargetFormatRequestForReadTableIndex, formatForRead);
    install<PFN_WDFIOTARGETSENDIOCTLSYNCHRONOUSLY>(t, WdfIoTargetSendIoctlSynchronouslyTableIndex,
                                                   sendIoctlSynchronously);
}

} // namespace obx::kmdf_double
