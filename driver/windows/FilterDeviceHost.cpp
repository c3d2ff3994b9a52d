#include "FilterDeviceHost.h"

#include "ControlPdo.h"
#include "HidTargetBelow.h"
#include "HidpParser.h"
#include "KernelSync.h"
#include "KernelTimer.h"
#include "KernelTrace.h"
#include "MouseClassLink.h"
#include "Status.h"
#include "driver/core/FilterDevice.h"

#include <new>

namespace obx::windows {

namespace {

// Instance numbers for the whole driver, from 1, never reused while it is loaded. Constant-initialised:
// a kernel driver runs no constructors of globals.
constinit driver::InstanceCounter instanceCounter;

} // namespace

// Everything one filter device holds. The core keeps references to the members before it, so they are
// made first; the framework objects behind them are created once the device exists.
class FilterDeviceHost {
public:
    FilterDeviceHost(WDFDEVICE device, uint32_t instance)
        : device_(device), parser_(device), below_(device),
          core_(driver::FilterDeviceServices{below_,
                                             parser_,
                                             clock_,
                                             deviceLock_,
                                             fileLock_,
                                             readLock_,
                                             {&chordTimer_, &inertiaTimer_, &autoScrollTimer_},
                                             driver::ControlDeviceLocks{registrationLock_, controlLock_,
                                                                        ringStoreLock_, ringTakeLock_},
                                             &trace_},
                instance) {}
    FilterDeviceHost(const FilterDeviceHost&) = delete;
    FilterDeviceHost& operator=(const FilterDeviceHost&) = delete;

    NTSTATUS createFrameworkObjects();
    driver::FilterDevice& core() { return core_; }
    NTSTATUS connect(WDFREQUEST request);

private:
    WDFDEVICE device_;
    SpinLock deviceLock_, readLock_, registrationLock_, controlLock_, ringStoreLock_, ringTakeLock_;
    WaitLock fileLock_;
    KernelTimer chordTimer_, inertiaTimer_, autoScrollTimer_;
    TickClock clock_;
    KernelTrace trace_;
    HidpParser parser_;
    HidTargetBelow below_;
    MouseClassLink classLink_;
    driver::FilterDevice core_;
};

WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(FilterDeviceHost, filterHostOf)

namespace {

FilterDeviceHost& hostOf(WDFDEVICE device) {
    return *filterHostOf(device);
}

EVT_WDF_OBJECT_CONTEXT_DESTROY destroyHost;
EVT_WDF_DEVICE_PREPARE_HARDWARE prepareHardware;
EVT_WDF_DEVICE_RELEASE_HARDWARE releaseHardware;
EVT_WDF_DEVICE_D0_ENTRY d0Entry;
EVT_WDF_DEVICE_D0_EXIT d0Exit;
EVT_WDF_DEVICE_QUERY_REMOVE queryRemove;
EVT_WDFDEVICE_WDM_IRP_PREPROCESS cancelRemove;
EVT_WDF_DEVICE_FILE_CREATE fileCreate;
EVT_WDF_FILE_CLOSE fileClose;
EVT_WDF_IO_QUEUE_IO_INTERNAL_DEVICE_CONTROL internalDeviceControl;

void destroyHost(WDFOBJECT device) {
    filterHostOf(device)->~FilterDeviceHost();
}

NTSTATUS prepareHardware(WDFDEVICE device, WDFCMRESLIST, WDFCMRESLIST) {
    return toNtStatus(hostOf(device).core().prepareHardware());
}

NTSTATUS releaseHardware(WDFDEVICE device, WDFCMRESLIST) {
    return toNtStatus(hostOf(device).core().releaseHardware());
}

// Sleep, selective suspend, a stop for rebalancing and a removal all leave the working state through
// here, and every return to it comes back through d0Entry: the read loop follows.
NTSTATUS d0Entry(WDFDEVICE device, WDF_POWER_DEVICE_STATE) {
    hostOf(device).core().powerUp();
    return STATUS_SUCCESS;
}

NTSTATUS d0Exit(WDFDEVICE device, WDF_POWER_DEVICE_STATE) {
    hostOf(device).core().powerDown();
    return STATUS_SUCCESS;
}

NTSTATUS queryRemove(WDFDEVICE device) {
    return toNtStatus(hostOf(device).core().queryRemove());
}

// The framework has no callback for a removal query that the system takes back; the request itself
// says so on its way down.
NTSTATUS cancelRemove(WDFDEVICE device, PIRP irp) {
    hostOf(device).core().removeCancelled();
    IoSkipCurrentIrpStackLocation(irp);
    return WdfDeviceWdmDispatchPreprocessedIrp(device, irp);
}

void fileCreate(WDFDEVICE device, WDFREQUEST request, WDFFILEOBJECT file) {
    classFileContextOf(file)->createRequest = request;
    const bool fromUserMode = WdfRequestGetRequestorMode(request) == UserMode;
    const driver::ObxStatus status = hostOf(device).core().fileCreate(file, fromUserMode);
    classFileContextOf(file)->createRequest = nullptr;
    WdfRequestComplete(request, toNtStatus(status));
}

void fileClose(WDFFILEOBJECT file) {
    hostOf(WdfFileObjectGetDevice(file)).core().fileClose(file);
}

// A request that is not the filter's goes on down unchanged, its completion the drivers' below.
void passDown(WDFREQUEST request, WDFIOTARGET below) {
    WDF_REQUEST_SEND_OPTIONS options;
    WDF_REQUEST_SEND_OPTIONS_INIT(&options, WDF_REQUEST_SEND_OPTION_SEND_AND_FORGET);
    WdfRequestFormatRequestUsingCurrentType(request);
    if (!WdfRequestSend(request, below, &options))
        WdfRequestComplete(request, WdfRequestGetStatus(request));
}

void internalDeviceControl(WDFQUEUE queue, WDFREQUEST request, size_t outputLength, size_t, ULONG code) {
    FilterDeviceHost& host = hostOf(WdfIoQueueGetDevice(queue));
    if (code == IOCTL_INTERNAL_MOUSE_CONNECT) {
        WdfRequestComplete(request, host.connect(request));
        return;
    }
    void* output = nullptr;
    size_t outputSize = 0;
    if (outputLength == 0 || !NT_SUCCESS(WdfRequestRetrieveOutputBuffer(request, 0, &output, &outputSize)))
        outputSize = 0;
    const driver::Completion completion =
        host.core().internalDeviceControl(code, std::span(static_cast<uint8_t*>(output), outputSize));
    if (completion.forBelow)
        passDown(request, WdfDeviceGetIoTarget(WdfIoQueueGetDevice(queue)));
    else
        WdfRequestCompleteWithInformation(request, toNtStatus(completion.status), completion.information);
}

NTSTATUS configureInit(PWDFDEVICE_INIT init) {
    WdfFdoInitSetFilter(init);
    WdfDeviceInitSetDeviceType(init, FILE_DEVICE_MOUSE);

    WDF_PNPPOWER_EVENT_CALLBACKS pnp;
    WDF_PNPPOWER_EVENT_CALLBACKS_INIT(&pnp);
    pnp.EvtDevicePrepareHardware = prepareHardware;
    pnp.EvtDeviceReleaseHardware = releaseHardware;
    pnp.EvtDeviceD0Entry = d0Entry;
    pnp.EvtDeviceD0Exit = d0Exit;
    pnp.EvtDeviceQueryRemove = queryRemove;
    WdfDeviceInitSetPnpPowerEventCallbacks(init, &pnp);

    UCHAR cancelRemoveMinor = IRP_MN_CANCEL_REMOVE_DEVICE;
    const NTSTATUS status =
        WdfDeviceInitAssignWdmIrpPreprocessCallback(init, cancelRemove, IRP_MJ_PNP, &cancelRemoveMinor, 1);
    if (!NT_SUCCESS(status))
        return status;

    // Cleanup and close go on down by the framework's default; the file object's own context fields
    // belong to the HID class below.
    WDF_FILEOBJECT_CONFIG files;
    WDF_FILEOBJECT_CONFIG_INIT(&files, fileCreate, fileClose, WDF_NO_EVENT_CALLBACK);
    files.AutoForwardCleanupClose = WdfUseDefault;
    files.FileObjectClass = WdfFileObjectWdfCannotUseFsContexts;
    WDF_OBJECT_ATTRIBUTES fileAttributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&fileAttributes, ClassFileContext);
    WdfDeviceInitSetFileObjectConfig(init, &files, &fileAttributes);
    return STATUS_SUCCESS;
}

NTSTATUS createInternalControlQueue(WDFDEVICE device) {
    WDF_IO_QUEUE_CONFIG config;
    WDF_IO_QUEUE_CONFIG_INIT(&config, WdfIoQueueDispatchParallel);
    config.EvtIoInternalDeviceControl = internalDeviceControl;
    WDFQUEUE queue = nullptr;
    const NTSTATUS status = WdfIoQueueCreate(device, &config, WDF_NO_OBJECT_ATTRIBUTES, &queue);
    if (!NT_SUCCESS(status))
        return status;
    return WdfDeviceConfigureRequestDispatching(device, queue, WdfRequestTypeDeviceControlInternal);
}

} // namespace

NTSTATUS FilterDeviceHost::createFrameworkObjects() {
    for (SpinLock* lock :
         {&deviceLock_, &readLock_, &registrationLock_, &controlLock_, &ringStoreLock_, &ringTakeLock_}) {
        const NTSTATUS status = lock->create(device_);
        if (!NT_SUCCESS(status))
            return status;
    }
    NTSTATUS status = fileLock_.create(device_);
    if (!NT_SUCCESS(status))
        return status;
    status = createInternalControlQueue(device_);
    if (!NT_SUCCESS(status))
        return status;
    status = inertiaTimer_.create(device_, core_, driver::kInertiaTimer, driver::kInertiaPeriodMs);
    if (NT_SUCCESS(status))
        status =
            autoScrollTimer_.create(device_, core_, driver::kAutoScrollTimer, driver::kAutoScrollPeriodMs);
    if (NT_SUCCESS(status))
        status = chordTimer_.create(device_, core_, driver::kChordTimer, 0);
    return status;
}

NTSTATUS FilterDeviceHost::connect(WDFREQUEST request) {
    void* input = nullptr;
    size_t size = 0;
    if (!NT_SUCCESS(WdfRequestRetrieveInputBuffer(request, sizeof(CONNECT_DATA), &input, &size)))
        return STATUS_BUFFER_TOO_SMALL;
    CONNECT_DATA connect;
    RtlCopyMemory(&connect, input, sizeof connect);
    // The core refuses a second connect before anything of the first is touched.
    const driver::Completion completion = core_.connect(classLink_);
    if (completion.status == OBX_STATUS_SUCCESS)
        classLink_.attach(connect);
    return toNtStatus(completion.status);
}

NTSTATUS addFilterDevice(WDFDRIVER, PWDFDEVICE_INIT init) {
    NTSTATUS status = configureInit(init);
    if (!NT_SUCCESS(status))
        return status;
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, FilterDeviceHost);
    attributes.EvtDestroyCallback = destroyHost;
    WDFDEVICE device = nullptr;
    status = WdfDeviceCreate(&init, &attributes, &device);
    if (!NT_SUCCESS(status))
        return status;
    FilterDeviceHost* host = new (filterHostOf(device)) FilterDeviceHost(device, instanceCounter.next());
    status = host->createFrameworkObjects();
    if (!NT_SUCCESS(status))
        return status;
    return createControlPdo(device, host->core().controlDevice());
}

} // namespace obx::windows
