// The framework's request, memory and I/O target functions, with the HID collection below the filter
// answering what the driver sends it.

#include "FrameworkState.h"
#include "Verifier.h"

#include <algorithm>
#include <cstring>

namespace obx::kmdf_double {

namespace {

using Globals = PWDF_DRIVER_GLOBALS;

Request* requestOf(WDFREQUEST handle, const char* call) {
    return as<Request>(handle, Kind::Request, call);
}

void complete(WDFREQUEST handle, NTSTATUS status, ULONG_PTR information, const char* call) {
    Request* request = requestOf(handle, call);
    Verifier::requireAtMost(kDispatchLevel, call);
    if (request->record == nullptr) {
        Verifier::violation(std::string(call) + " called on " + request->name +
                            ", which the driver made itself");
        return;
    }
    if (request->cancelRoutine != nullptr)
        Verifier::violation(std::string(call) + " called on " + request->name +
                            ", which is still cancelable");
    const bool buffered = request->type == WdfRequestTypeRead || request->type == WdfRequestTypeDeviceControl;
    if (buffered && request->outputLength != 0 && information > request->outputLength)
        Verifier::violation(
            std::string(call) + " called on " + request->name + " with " + std::to_string(information) +
            " bytes of information, beyond its output buffer of " + std::to_string(request->outputLength));
    RequestResult& record = *request->record;
    ++record.completions;
    record.status = static_cast<uint32_t>(status);
    record.information = information;
    if (buffered) {
        const size_t copied = std::min<size_t>(information, request->outputLength);
        record.output.assign(request->systemBuffer.begin(), request->systemBuffer.begin() + copied);
    }
    // A completed request belongs to the system again: any later call on it is named as one on a
    // deleted object.
    request->name += " (completed)";
    deleteObject(*request);
}

void requestComplete(Globals, WDFREQUEST request, NTSTATUS status) {
    complete(request, status, 0, "WdfRequestComplete");
}

void requestCompleteWithInformation(Globals, WDFREQUEST request, NTSTATUS status, ULONG_PTR information) {
    complete(request, status, information, "WdfRequestCompleteWithInformation");
}

NTSTATUS retrieveBuffer(WDFREQUEST handle, size_t minimum, PVOID* buffer, size_t* length, bool input,
                        const char* call) {
    Request* request = requestOf(handle, call);
    const size_t size = input ? request->inputLength : request->outputLength;
    if (request->systemBuffer.empty() || size == 0)
        return STATUS_BUFFER_TOO_SMALL;
    if (size < minimum)
        return STATUS_BUFFER_TOO_SMALL;
    *buffer = request->systemBuffer.data();
    if (length != nullptr)
        *length = size;
    return STATUS_SUCCESS;
}

NTSTATUS retrieveInput(Globals, WDFREQUEST request, size_t minimum, PVOID* buffer, size_t* length) {
    return retrieveBuffer(request, minimum, buffer, length, true, "WdfRequestRetrieveInputBuffer");
}

NTSTATUS retrieveOutput(Globals, WDFREQUEST request, size_t minimum, PVOID* buffer, size_t* length) {
    return retrieveBuffer(request, minimum, buffer, length, false, "WdfRequestRetrieveOutputBuffer");
}

WDFFILEOBJECT requestGetFileObject(Globals, WDFREQUEST request) {
    return reinterpret_cast<WDFFILEOBJECT>(requestOf(request, "WdfRequestGetFileObject")->file);
}

KPROCESSOR_MODE requestGetRequestorMode(Globals, WDFREQUEST request) {
    return requestOf(request, "WdfRequestGetRequestorMode")->mode;
}

NTSTATUS requestGetStatus(Globals, WDFREQUEST request) {
    return requestOf(request, "WdfRequestGetStatus")->status;
}

NTSTATUS markCancelable(Globals, WDFREQUEST handle, PFN_WDF_REQUEST_CANCEL routine) {
    Request* request = requestOf(handle, "WdfRequestMarkCancelableEx");
    Verifier::requireAtMost(kDispatchLevel, "WdfRequestMarkCancelableEx");
    if (request->cancelRoutine != nullptr)
        Verifier::violation("WdfRequestMarkCancelableEx called on " + request->name + ", already cancelable");
    if (request->cancelled)
        return STATUS_CANCELLED;
    request->cancelRoutine = routine;
    return STATUS_SUCCESS;
}

NTSTATUS unmarkCancelable(Globals, WDFREQUEST handle) {
    Request* request = requestOf(handle, "WdfRequestUnmarkCancelable");
    Verifier::requireAtMost(kDispatchLevel, "WdfRequestUnmarkCancelable");
    if (request->cancelRoutine == nullptr) {
        // Cancelled meanwhile: the cancel routine has run or runs.
        if (request->cancelled)
            return STATUS_CANCELLED;
        Verifier::violation("WdfRequestUnmarkCancelable called on " + request->name +
                            ", which is not cancelable");
    }
    request->cancelRoutine = nullptr;
    return STATUS_SUCCESS;
}

void formatUsingCurrentType(Globals, WDFREQUEST request) {
    requestOf(request, "WdfRequestFormatRequestUsingCurrentType");
}

NTSTATUS requestCreate(Globals, PWDF_OBJECT_ATTRIBUTES attributes, WDFIOTARGET target, WDFREQUEST* request) {
    as<IoTarget>(target, Kind::IoTarget, "WdfRequestCreate");
    Verifier::requireAtMost(kDispatchLevel, "WdfRequestCreate");
    *request = reinterpret_cast<WDFREQUEST>(
        makeObject<Request>("WdfRequestCreate", attributes, state().driver, "the driver's read request"));
    return STATUS_SUCCESS;
}

NTSTATUS requestReuse(Globals, WDFREQUEST handle, PWDF_REQUEST_REUSE_PARAMS params) {
    Request* request = requestOf(handle, "WdfRequestReuse");
    if (request->sent)
        Verifier::violation("WdfRequestReuse called on " + request->name + " while it is sent");
    request->status = params->Status;
    request->information = 0;
    request->formattedFor = nullptr;
    request->completion = nullptr;
    return STATUS_SUCCESS;
}

void setCompletionRoutine(Globals, WDFREQUEST handle, PFN_WDF_REQUEST_COMPLETION_ROUTINE routine,
                          WDFCONTEXT context) {
    Request* request = requestOf(handle, "WdfRequestSetCompletionRoutine");
    request->completion = routine;
    request->completionContext = context;
}

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

BOOLEAN requestSend(Globals, WDFREQUEST handle, WDFIOTARGET targetHandle, PWDF_REQUEST_SEND_OPTIONS options) {
    Request* request = requestOf(handle, "WdfRequestSend");
    IoTarget* target = as<IoTarget>(targetHandle, Kind::IoTarget, "WdfRequestSend");
    const bool synchronous = options != nullptr && (options->Flags & WDF_REQUEST_SEND_OPTION_SYNCHRONOUS);
    if (synchronous)
        Verifier::requirePassive("WdfRequestSend (synchronous)");
    else
        Verifier::requireAtMost(kDispatchLevel, "WdfRequestSend");
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
    if (!target->remote || !target->open || request->formattedFor != target ||
        request->completion == nullptr) {
        Verifier::violation("WdfRequestSend: " + request->name +
                            " is not a formatted read of an open target");
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

NTSTATUS memoryCreate(Globals, PWDF_OBJECT_ATTRIBUTES attributes, POOL_TYPE pool, ULONG, size_t size,
                      WDFMEMORY* memory, PVOID* buffer) {
    if (pool == PagedPool)
        Verifier::requirePassive("WdfMemoryCreate (paged)");
    Memory* created = makeObject<Memory>("WdfMemoryCreate", attributes, state().driver);
    created->storage = std::make_unique<std::max_align_t[]>(size / sizeof(std::max_align_t) + 1);
    created->buffer = created->storage.get();
    created->size = size;
    *memory = reinterpret_cast<WDFMEMORY>(created);
    if (buffer != nullptr)
        *buffer = created->buffer;
    return STATUS_SUCCESS;
}

NTSTATUS memoryCreatePreallocated(Globals, PWDF_OBJECT_ATTRIBUTES attributes, PVOID buffer, size_t size,
                                  WDFMEMORY* memory) {
    Memory* created = makeObject<Memory>("WdfMemoryCreatePreallocated", attributes, state().driver);
    created->buffer = buffer;
    created->size = size;
    *memory = reinterpret_cast<WDFMEMORY>(created);
    return STATUS_SUCCESS;
}

NTSTATUS memoryAssignBuffer(Globals, WDFMEMORY handle, PVOID buffer, size_t size) {
    Memory* memory = as<Memory>(handle, Kind::Memory, "WdfMemoryAssignBuffer");
    if (memory->storage != nullptr)
        Verifier::violation("WdfMemoryAssignBuffer called on memory the framework allocated");
    memory->buffer = buffer;
    memory->size = size;
    return STATUS_SUCCESS;
}

PVOID memoryGetBuffer(Globals, WDFMEMORY handle, size_t* size) {
    Memory* memory = as<Memory>(handle, Kind::Memory, "WdfMemoryGetBuffer");
    if (size != nullptr)
        *size = memory->size;
    return memory->buffer;
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
    // The read in flight is cancelled, and the close waits for its completion.
    if (Request* read = target->pendingRead) {
        target->pendingRead = nullptr;
        atIrql(kDispatchLevel, "the read's completion routine",
               [&] { completeSentRequest(*read, STATUS_CANCELLED, 0); });
    }
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
        info.VendorID = 0xFFFF;
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

template <typename Pfn>
void install(WDFFUNC* table, WDFFUNCENUM index, Pfn function) {
    table[index] = reinterpret_cast<WDFFUNC>(function);
}

} // namespace

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

void installRequestFunctions(WDFFUNC* t) {
    install<PFN_WDFREQUESTCOMPLETE>(t, WdfRequestCompleteTableIndex, requestComplete);
    install<PFN_WDFREQUESTCOMPLETEWITHINFORMATION>(t, WdfRequestCompleteWithInformationTableIndex,
                                                   requestCompleteWithInformation);
    install<PFN_WDFREQUESTRETRIEVEINPUTBUFFER>(t, WdfRequestRetrieveInputBufferTableIndex, retrieveInput);
    install<PFN_WDFREQUESTRETRIEVEOUTPUTBUFFER>(t, WdfRequestRetrieveOutputBufferTableIndex, retrieveOutput);
    install<PFN_WDFREQUESTGETFILEOBJECT>(t, WdfRequestGetFileObjectTableIndex, requestGetFileObject);
    install<PFN_WDFREQUESTGETREQUESTORMODE>(t, WdfRequestGetRequestorModeTableIndex, requestGetRequestorMode);
    install<PFN_WDFREQUESTGETSTATUS>(t, WdfRequestGetStatusTableIndex, requestGetStatus);
    install<PFN_WDFREQUESTMARKCANCELABLEEX>(t, WdfRequestMarkCancelableExTableIndex, markCancelable);
    install<PFN_WDFREQUESTUNMARKCANCELABLE>(t, WdfRequestUnmarkCancelableTableIndex, unmarkCancelable);
    install<PFN_WDFREQUESTFORMATREQUESTUSINGCURRENTTYPE>(t, WdfRequestFormatRequestUsingCurrentTypeTableIndex,
                                                         formatUsingCurrentType);
    install<PFN_WDFREQUESTCREATE>(t, WdfRequestCreateTableIndex, requestCreate);
    install<PFN_WDFREQUESTREUSE>(t, WdfRequestReuseTableIndex, requestReuse);
    install<PFN_WDFREQUESTSETCOMPLETIONROUTINE>(t, WdfRequestSetCompletionRoutineTableIndex,
                                                setCompletionRoutine);
    install<PFN_WDFREQUESTSEND>(t, WdfRequestSendTableIndex, requestSend);
    install<PFN_WDFMEMORYCREATE>(t, WdfMemoryCreateTableIndex, memoryCreate);
    install<PFN_WDFMEMORYCREATEPREALLOCATED>(t, WdfMemoryCreatePreallocatedTableIndex,
                                             memoryCreatePreallocated);
    install<PFN_WDFMEMORYASSIGNBUFFER>(t, WdfMemoryAssignBufferTableIndex, memoryAssignBuffer);
    install<PFN_WDFMEMORYGETBUFFER>(t, WdfMemoryGetBufferTableIndex, memoryGetBuffer);
    install<PFN_WDFIOTARGETCREATE>(t, WdfIoTargetCreateTableIndex, ioTargetCreate);
    install<PFN_WDFIOTARGETOPEN>(t, WdfIoTargetOpenTableIndex, ioTargetOpen);
    install<PFN_WDFIOTARGETCLOSE>(t, WdfIoTargetCloseTableIndex, ioTargetClose);
    install<PFN_WDFIOTARGETFORMATREQUESTFORREAD>(t, WdfIoTargetFormatRequestForReadTableIndex, formatForRead);
    install<PFN_WDFIOTARGETSENDIOCTLSYNCHRONOUSLY>(t, WdfIoTargetSendIoctlSynchronouslyTableIndex,
                                                   sendIoctlSynchronously);
}

} // namespace obx::kmdf_double
