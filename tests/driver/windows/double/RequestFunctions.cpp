// The framework's request and memory functions: the system's requests as the driver completes,
// cancels and reads them, and the driver's own read request.

#include "FrameworkState.h"
#include "Verifier.h"

#include <algorithm>
#include <utility>

namespace obx::kmdf_double {

Request* requestOf(WDFREQUEST handle, const char* call) {
    return as<Request>(handle, Kind::Request, call);
}

namespace {

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
    if (request->race != CancelRace::None && request->cancelRoutine != nullptr) {
        const PFN_WDF_REQUEST_CANCEL routine = std::exchange(request->cancelRoutine, nullptr);
        request->cancelled = true;
        if (request->race == CancelRace::RoutineFirst)
            atIrql(kDispatchLevel, "the request's cancel routine", [&] { routine(handle); });
        else
            state().lateCancels.emplace_back(request, routine);
        return STATUS_CANCELLED;
    }
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

} // namespace

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
    install<PFN_WDFMEMORYCREATE>(t, WdfMemoryCreateTableIndex, memoryCreate);
    install<PFN_WDFMEMORYCREATEPREALLOCATED>(t, WdfMemoryCreatePreallocatedTableIndex,
                                             memoryCreatePreallocated);
    install<PFN_WDFMEMORYASSIGNBUFFER>(t, WdfMemoryAssignBufferTableIndex, memoryAssignBuffer);
    install<PFN_WDFMEMORYGETBUFFER>(t, WdfMemoryGetBufferTableIndex, memoryGetBuffer);
}

} // namespace obx::kmdf_double
