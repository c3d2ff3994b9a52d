#include "ControlPdo.h"

#include "Status.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <string_view>
#include <type_traits>

namespace obx::windows {

namespace {

// The control interface's definitions, shared with the helper, against the system's own.
static_assert(sizeof(OBX_GUID) == sizeof(GUID));
static_assert(IOCTL_OBX_GET_DRIVER_INFO ==
              CTL_CODE(FILE_DEVICE_UNKNOWN, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(IOCTL_OBX_REGISTER_HELPER ==
              CTL_CODE(FILE_DEVICE_UNKNOWN, 0x810, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(toNtStatus(OBX_STATUS_CANCELLED) == STATUS_CANCELLED);
static_assert(toNtStatus(OBX_STATUS_BUFFER_TOO_SMALL) == STATUS_BUFFER_TOO_SMALL);
static_assert(toNtStatus(OBX_STATUS_INVALID_DEVICE_REQUEST) == STATUS_INVALID_DEVICE_REQUEST);
static_assert(toNtStatus(OBX_STATUS_INVALID_PARAMETER) == STATUS_INVALID_PARAMETER);
static_assert(toNtStatus(OBX_STATUS_ACCESS_DENIED) == STATUS_ACCESS_DENIED);
static_assert(toNtStatus(OBX_STATUS_SHARING_VIOLATION) == STATUS_SHARING_VIOLATION);
static_assert(toNtStatus(OBX_STATUS_INSUFFICIENT_RESOURCES) == STATUS_INSUFFICIENT_RESOURCES);
static_assert(toNtStatus(OBX_STATUS_NOT_IMPLEMENTED) == STATUS_NOT_IMPLEMENTED);
static_assert(toNtStatus(OBX_STATUS_NOT_SUPPORTED) == STATUS_NOT_SUPPORTED);
static_assert(toNtStatus(OBX_STATUS_INTERNAL_ERROR) == STATUS_INTERNAL_ERROR);
static_assert(toNtStatus(OBX_STATUS_DEVICE_DATA_ERROR) == STATUS_DEVICE_DATA_ERROR);
static_assert(toNtStatus(OBX_STATUS_BUFFER_OVERFLOW) == STATUS_BUFFER_OVERFLOW);
static_assert(toNtStatus(OBX_STATUS_NO_MORE_ENTRIES) == STATUS_NO_MORE_ENTRIES);
static_assert(toNtStatus(OBX_STATUS_NO_SUCH_DEVICE) == STATUS_NO_SUCH_DEVICE);
static_assert(toNtStatus(OBX_STATUS_DELETE_PENDING) == STATUS_DELETE_PENDING);
static_assert(toNtStatus(OBX_STATUS_DEVICE_NOT_CONNECTED) == STATUS_DEVICE_NOT_CONNECTED);

const GUID kControlInterface = OBX_GUID_DEVINTERFACE_OBX_CONTROL_INIT;

// Room for each text with its terminator, so that none is cut.
constexpr size_t kIdTextChars = 48;
constexpr size_t kShortTextChars = 24;
static_assert(std::string_view(OBX_CONTROL_SECURITY_DESCRIPTOR).size() < kIdTextChars);
static_assert(std::string_view(driver::ControlDeviceIdentity::kDeviceId).size() < kIdTextChars);
static_assert(std::string_view(driver::ControlDeviceIdentity::kLocation).size() < kShortTextChars);
static_assert(sizeof(driver::ControlDeviceIdentity::instanceId) <= kShortTextChars);
static_assert(sizeof(driver::ControlDeviceIdentity::description) <= kShortTextChars);
constexpr ULONG kWdmVersionWithoutHardwareId = 0x20; // WDM 1.20 and later find the device by its id

// An ASCII text of the core as the counted UTF-16 string that the framework takes.
template <size_t N>
class WideText {
public:
    explicit WideText(const char* text) {
        size_t length = 0;
        while (text[length] != '\0' && length + 1 < N) {
            chars_[length] = static_cast<WCHAR>(static_cast<unsigned char>(text[length]));
            ++length;
        }
        chars_[length] = L'\0';
        string_.Buffer = chars_;
        string_.Length = static_cast<USHORT>(length * sizeof(WCHAR));
        string_.MaximumLength = static_cast<USHORT>(N * sizeof(WCHAR));
    }
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;

    PCUNICODE_STRING get() const { return &string_; }

private:
    WCHAR chars_[N] = {};
    UNICODE_STRING string_{};
};

} // namespace

struct ControlContext {
    driver::ControlDevice* control;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(ControlContext, controlContextOf)

namespace {

driver::ControlDevice& controlOf(WDFDEVICE device) {
    return *controlContextOf(device)->control;
}

EVT_WDF_REQUEST_CANCEL readCancelled;

// A read of the helper while the core holds it. Cancellation races the core's completion: whichever of
// the two comes second completes the request.
class PendedRead final : public driver::IPendingRead {
public:
    PendedRead(WDFREQUEST request, driver::ControlDevice& control, std::span<uint8_t> buffer)
        : request_(request), control_(control), buffer_(buffer) {}

    driver::FileObject file() const override { return WdfRequestGetFileObject(request_); }
    std::span<uint8_t> buffer() override { return buffer_; }

    bool markCancelable() override {
        cancelable_ = NT_SUCCESS(WdfRequestMarkCancelableEx(request_, readCancelled));
        return cancelable_;
    }

    void complete(driver::ObxStatus status, uint32_t information) override {
        if (!cancelable_ || WdfRequestUnmarkCancelable(request_) != STATUS_CANCELLED) {
            WdfRequestCompleteWithInformation(request_, toNtStatus(status), information);
            return;
        }
        // The cancel callback runs or will run, and finds the read no longer waiting.
        status_ = status;
        information_ = information;
        finishHandoff();
    }

    void cancelled() {
        if (control_.cancelRead(*this)) {
            WdfRequestComplete(request_, STATUS_CANCELLED);
            return;
        }
        finishHandoff(); // the core has taken the read and completes it
    }

private:
    void finishHandoff() {
        if (InterlockedExchange(&handoff_, 1) != 0)
            WdfRequestCompleteWithInformation(request_, toNtStatus(status_), information_);
    }

    WDFREQUEST request_;
    driver::ControlDevice& control_;
    std::span<uint8_t> buffer_;
    bool cancelable_ = false;
    volatile LONG handoff_ = 0;
    driver::ObxStatus status_ = OBX_STATUS_SUCCESS;
    uint32_t information_ = 0;
};

// Nothing to release when a request goes: its context is only ever a PendedRead.
static_assert(std::is_trivially_destructible_v<PendedRead>);

} // namespace

// Every request of the control device carries room for the read it may become.
struct ReadContext {
    alignas(PendedRead) unsigned char storage[sizeof(PendedRead)];
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(ReadContext, readContextOf)

namespace {

PendedRead* pendedReadOf(WDFREQUEST request) {
    return std::launder(reinterpret_cast<PendedRead*>(readContextOf(request)->storage));
}

EVT_WDF_IO_QUEUE_IO_READ controlRead;
EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL controlDeviceControl;
EVT_WDF_FILE_CLEANUP controlCleanup;

void readCancelled(WDFREQUEST request) {
    pendedReadOf(request)->cancelled();
}

std::span<uint8_t> outputOf(WDFREQUEST request, size_t length) {
    void* buffer = nullptr;
    size_t size = 0;
    if (length == 0 || !NT_SUCCESS(WdfRequestRetrieveOutputBuffer(request, 0, &buffer, &size)))
        return {};
    return std::span(static_cast<uint8_t*>(buffer), size);
}

void controlRead(WDFQUEUE queue, WDFREQUEST request, size_t length) {
    driver::ControlDevice& control = controlOf(WdfIoQueueGetDevice(queue));
    PendedRead* read =
        new (readContextOf(request)->storage) PendedRead(request, control, outputOf(request, length));
    control.read(*read);
}

// Buffered: input and output share one system buffer, which the core reads whole before it writes.
void controlDeviceControl(WDFQUEUE queue, WDFREQUEST request, size_t outputLength, size_t inputLength,
                          ULONG code) {
    void* input = nullptr;
    size_t inputSize = 0;
    if (inputLength == 0 || !NT_SUCCESS(WdfRequestRetrieveInputBuffer(request, 0, &input, &inputSize)))
        inputSize = 0;
    const driver::Completion completion =
        controlOf(WdfIoQueueGetDevice(queue))
            .deviceControl(WdfRequestGetFileObject(request), code,
                           std::span(static_cast<const uint8_t*>(input), inputSize),
                           outputOf(request, outputLength));
    // With an output buffer the system copies the count of bytes back into the caller's buffer, so the
    // count never exceeds it; without one nothing is copied, and a set request reports what it took.
    const size_t information =
        outputLength != 0 ? std::min<size_t>(completion.information, outputLength) : completion.information;
    WdfRequestCompleteWithInformation(request, toNtStatus(completion.status), information);
}

// The handle is closed: its registration ends and its waiting reads are cancelled, without which the
// system would not send the close.
void controlCleanup(WDFFILEOBJECT file) {
    controlOf(WdfFileObjectGetDevice(file)).fileClose(file);
}

NTSTATUS assignIdentity(PWDFDEVICE_INIT init, const driver::ControlDeviceIdentity& identity) {
    GUID rawClass;
    RtlCopyMemory(&rawClass, &driver::ControlDeviceIdentity::kRawDeviceClass, sizeof rawClass);
    NTSTATUS status = WdfPdoInitAssignRawDevice(init, &rawClass);
    if (!NT_SUCCESS(status))
        return status;
    const WideText<kIdTextChars> security(OBX_CONTROL_SECURITY_DESCRIPTOR);
    status = WdfDeviceInitAssignSDDLString(init, security.get());
    if (!NT_SUCCESS(status))
        return status;
    const WideText<kIdTextChars> deviceId(driver::ControlDeviceIdentity::kDeviceId);
    status = WdfPdoInitAssignDeviceID(init, deviceId.get());
    if (NT_SUCCESS(status) && !IoIsWdmVersionAvailable(1, kWdmVersionWithoutHardwareId))
        status = WdfPdoInitAddHardwareID(init, deviceId.get());
    if (!NT_SUCCESS(status))
        return status;
    const WideText<kShortTextChars> instanceId(identity.instanceId.data());
    status = WdfPdoInitAssignInstanceID(init, instanceId.get());
    if (!NT_SUCCESS(status))
        return status;
    const WideText<kShortTextChars> description(identity.description.data());
    const WideText<kShortTextChars> location(driver::ControlDeviceIdentity::kLocation);
    status = WdfPdoInitAddDeviceText(init, description.get(), location.get(),
                                     driver::ControlDeviceIdentity::kLocale);
    if (!NT_SUCCESS(status))
        return status;
    WdfPdoInitSetDefaultLocale(init, driver::ControlDeviceIdentity::kLocale);
    return STATUS_SUCCESS;
}

void configureFilesAndRequests(PWDFDEVICE_INIT init) {
    WDF_FILEOBJECT_CONFIG files;
    WDF_FILEOBJECT_CONFIG_INIT(&files, WDF_NO_EVENT_CALLBACK, WDF_NO_EVENT_CALLBACK, controlCleanup);
    WdfDeviceInitSetFileObjectConfig(init, &files, WDF_NO_OBJECT_ATTRIBUTES);
    WDF_OBJECT_ATTRIBUTES requests;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&requests, ReadContext);
    WdfDeviceInitSetRequestAttributes(init, &requests);
}

NTSTATUS createQueue(WDFDEVICE pdo) {
    WDF_IO_QUEUE_CONFIG config;
    WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&config, WdfIoQueueDispatchParallel);
    config.EvtIoRead = controlRead;
    config.EvtIoDeviceControl = controlDeviceControl;
    // Reads wait for button events, for as long as the helper runs: a power-managed queue would hold
    // the system's sleep for them.
    config.PowerManaged = WdfFalse;
    return WdfIoQueueCreate(pdo, &config, WDF_NO_OBJECT_ATTRIBUTES, WDF_NO_HANDLE);
}

void describe(WDFDEVICE pdo, uint32_t instance) {
    WDF_DEVICE_PNP_CAPABILITIES capabilities;
    WDF_DEVICE_PNP_CAPABILITIES_INIT(&capabilities);
    capabilities.Removable = WdfTrue;
    capabilities.SurpriseRemovalOK = WdfTrue;
    capabilities.NoDisplayInUI = WdfTrue;
    capabilities.Address = instance;
    capabilities.UINumber = instance;
    WdfDeviceSetPnpCapabilities(pdo, &capabilities);
    WDF_DEVICE_STATE state;
    WDF_DEVICE_STATE_INIT(&state);
    state.DontDisplayInUI = WdfTrue;
    WdfDeviceSetDeviceState(pdo, &state);
}

NTSTATUS finishPdo(WDFDEVICE filterDevice, WDFDEVICE pdo, uint32_t instance) {
    NTSTATUS status = createQueue(pdo);
    if (!NT_SUCCESS(status))
        return status;
    describe(pdo, instance);
    status = WdfDeviceCreateDeviceInterface(pdo, &kControlInterface, nullptr);
    if (!NT_SUCCESS(status))
        return status;
    return WdfFdoAddStaticChild(filterDevice, pdo);
}

} // namespace

NTSTATUS createControlPdo(WDFDEVICE filterDevice, driver::ControlDevice& control) {
    PWDFDEVICE_INIT init = WdfPdoInitAllocate(filterDevice);
    if (init == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    NTSTATUS status = assignIdentity(init, control.identity());
    if (!NT_SUCCESS(status)) {
        WdfDeviceInitFree(init);
        return status;
    }
    configureFilesAndRequests(init);
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, ControlContext);
    WDFDEVICE pdo = nullptr;
    status = WdfDeviceCreate(&init, &attributes, &pdo);
    if (!NT_SUCCESS(status)) {
        WdfDeviceInitFree(init);
        return status;
    }
    controlContextOf(pdo)->control = &control;
    status = finishPdo(filterDevice, pdo, control.identity().instance);
    if (!NT_SUCCESS(status))
        WdfObjectDelete(pdo);
    return status;
}

} // namespace obx::windows
