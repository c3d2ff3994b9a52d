#include "Machine.h"

#include "CpuEmulation.h"
#include "FrameworkState.h"
#include "Verifier.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

extern "C" DRIVER_INITIALIZE ObxFrameworkEntry;

namespace obx::kmdf_double {

FrameworkState& state() {
    static FrameworkState* s = new FrameworkState;
    return *s;
}

namespace {

WCHAR registryPath[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\obxkern";

Device& filter() {
    if (state().filter == nullptr)
        Verifier::fatal("the scenario needs a filter device, and none was added");
    return *state().filter;
}

Device* controlDevice() {
    return filter().staticChildren.empty() ? nullptr : filter().staticChildren.front();
}

template <typename Callback, typename... Args>
void runAt(Irql level, const char* what, Callback callback, Args... args) {
    if (callback == nullptr)
        Verifier::fatal(std::string("the driver has no callback for ") + what);
    atIrql(level, what, [&] { callback(args...); });
}

Request* newRequest(std::string name, WDF_REQUEST_TYPE type, FileObj* file, Device& device) {
    WDF_OBJECT_ATTRIBUTES* attributes =
        device.init.requestAttributes ? &*device.init.requestAttributes : nullptr;
    Request* request = makeObject<Request>("the I/O manager", attributes, nullptr, std::move(name));
    request->type = type;
    request->file = file;
    request->record = std::make_shared<RequestResult>();
    state().requests.push_back(request->record);
    return request;
}

void setBuffers(Request& request, const Bytes& input, size_t outputLength) {
    request.inputLength = input.size();
    request.outputLength = outputLength;
    request.systemBuffer.assign(std::max(input.size(), outputLength), 0);
    std::copy(input.begin(), input.end(), request.systemBuffer.begin());
}

Queue& queueFor(Device& device, WDF_REQUEST_TYPE type) {
    const auto found = device.dispatch.find(type);
    if (found != device.dispatch.end())
        return *found->second;
    if (device.defaultQueue == nullptr)
        Verifier::fatal(device.name + " has no queue for the request");
    return *device.defaultQueue;
}

FileObj* openFile(Device& device, std::string name) {
    WDF_OBJECT_ATTRIBUTES* attributes = device.init.fileAttributes ? &*device.init.fileAttributes : nullptr;
    return makeObject<FileObj>("the I/O manager", attributes, &device, device, std::move(name));
}

void pendingRequestsOf(FileObj* file, const char* when) {
    for (Object* object : liveObjects()) {
        if (object->kind == Kind::Request && static_cast<Request*>(object)->file == file)
            Verifier::violation(object->name + " of " + file->name + " is not completed " + when);
    }
}

// A cancelled request's cancel routine runs at dispatch level, as the system's cancellation calls it.
void cancelRequest(Request& request) {
    request.cancelled = true;
    if (PFN_WDF_REQUEST_CANCEL routine = std::exchange(request.cancelRoutine, nullptr))
        runAt(kDispatchLevel, "the request's cancel routine", routine,
              reinterpret_cast<WDFREQUEST>(&request));
}

Request* liveRequest(RequestId id) {
    const std::shared_ptr<RequestResult>& record = state().requests.at(id);
    for (Object* object : liveObjects()) {
        if (object->kind == Kind::Request && static_cast<Request*>(object)->record == record)
            return static_cast<Request*>(object);
    }
    return nullptr;
}

// The cancel routines that raced a completion and come second.
void runLateCancels() {
    for (const auto& [request, routine] : std::exchange(state().lateCancels, {}))
        runAt(kDispatchLevel, "the request's cancel routine", routine, reinterpret_cast<WDFREQUEST>(request));
}

DEVICE_OBJECT classDeviceObject{};

void recordPackets(PDEVICE_OBJECT device, PMOUSE_INPUT_DATA start, PMOUSE_INPUT_DATA end, PULONG consumed) {
    if (Verifier::irql() != kDispatchLevel)
        Verifier::violation("the class service callback was called below dispatch level");
    if (device != &classDeviceObject)
        Verifier::violation("the class service callback was called with another device than the connect's");
    for (PMOUSE_INPUT_DATA packet = start; packet != end; ++packet) {
        driver::MouseInputData data;
        data.unitId = packet->UnitId;
        data.flags = packet->Flags;
        data.buttonFlags = packet->ButtonFlags;
        data.buttonData = static_cast<int16_t>(packet->ButtonData);
        data.rawButtons = packet->RawButtons;
        data.lastX = packet->LastX;
        data.lastY = packet->LastY;
        data.extraInformation = packet->ExtraInformation;
        state().packets.push_back(data);
    }
    *consumed = static_cast<ULONG>(end - start);
}

std::string hex(uint32_t code) {
    char text[12];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

RequestResult sendInternal(ULONG code, const Bytes& input, size_t outputLength) {
    Device& device = filter();
    Request* request = newRequest("the internal request " + hex(code), WdfRequestTypeDeviceControlInternal,
                                  state().classFile, device);
    request->code = code;
    setBuffers(*request, input, outputLength);
    const std::shared_ptr<RequestResult> record = request->record;
    Queue& queue = queueFor(device, WdfRequestTypeDeviceControlInternal);
    runAt(kPassiveLevel, "EvtIoInternalDeviceControl", queue.config.EvtIoInternalDeviceControl,
          reinterpret_cast<WDFQUEUE>(&queue), reinterpret_cast<WDFREQUEST>(request), outputLength,
          input.size(), code);
    return *record;
}

// The framework's power callbacks of the filter, at passive level as for a device not on the paging path.
void d0Entry(WDF_POWER_DEVICE_STATE previous) {
    Device& device = filter();
    NTSTATUS status = STATUS_SUCCESS;
    if (device.init.pnp.EvtDeviceD0Entry != nullptr)
        atIrql(kPassiveLevel, "EvtDeviceD0Entry", [&] {
            status = device.init.pnp.EvtDeviceD0Entry(reinterpret_cast<WDFDEVICE>(&device), previous);
        });
    if (!NT_SUCCESS(status))
        Verifier::violation("EvtDeviceD0Entry failed");
}

void d0Exit(WDF_POWER_DEVICE_STATE target) {
    Device& device = filter();
    NTSTATUS status = STATUS_SUCCESS;
    if (device.init.pnp.EvtDeviceD0Exit != nullptr)
        atIrql(kPassiveLevel, "EvtDeviceD0Exit", [&] {
            status = device.init.pnp.EvtDeviceD0Exit(reinterpret_cast<WDFDEVICE>(&device), target);
        });
    if (!NT_SUCCESS(status))
        Verifier::violation("EvtDeviceD0Exit failed");
}

NTSTATUS prepareHardware() {
    Device& device = filter();
    if (device.init.pnp.EvtDevicePrepareHardware == nullptr)
        Verifier::fatal("the filter device has no prepare-hardware callback");
    NTSTATUS status = STATUS_SUCCESS;
    atIrql(kPassiveLevel, "EvtDevicePrepareHardware", [&] {
        status =
            device.init.pnp.EvtDevicePrepareHardware(reinterpret_cast<WDFDEVICE>(&device), nullptr, nullptr);
    });
    return status;
}

void releaseHardware() {
    Device& device = filter();
    NTSTATUS status = STATUS_SUCCESS;
    atIrql(kPassiveLevel, "EvtDeviceReleaseHardware", [&] {
        status = device.init.pnp.EvtDeviceReleaseHardware(reinterpret_cast<WDFDEVICE>(&device), nullptr);
    });
    if (!NT_SUCCESS(status))
        Verifier::violation("EvtDeviceReleaseHardware failed");
}

void tellControlHolder(ControlNotice notice) {
    if (state().controlWatcher)
        state().controlWatcher(notice);
}

IoTarget* readTargetWithReadWaiting() {
    for (Object* child : filter().children) {
        if (child->kind == Kind::IoTarget && static_cast<IoTarget*>(child)->pendingRead != nullptr)
            return static_cast<IoTarget*>(child);
    }
    return nullptr;
}

void deleteDevices() {
    Device& device = filter();
    // The control device is the filter's child in the device tree: it goes with it.
    for (Device* child : device.staticChildren)
        deleteObject(*child);
    deleteObject(device);
    state().filter = nullptr;
}

} // namespace

uint32_t Machine::load() {
    installCpuEmulation();
    FrameworkState& s = state();
    UNICODE_STRING path{static_cast<USHORT>(sizeof registryPath - sizeof(WCHAR)),
                        static_cast<USHORT>(sizeof registryPath), registryPath};
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    atIrql(kPassiveLevel, "the driver's entry", [&] { status = ObxFrameworkEntry(&s.driverObject, &path); });
    return static_cast<uint32_t>(status);
}

uint32_t Machine::addDevice(const HidModel& model) {
    FrameworkState& s = state();
    if (s.driver == nullptr)
        Verifier::fatal("addDevice before the driver was loaded");
    auto* init = new DeviceInit;
    s.openInits.insert(init);
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    atIrql(kPassiveLevel, "EvtDriverDeviceAdd", [&] {
        status = s.driverConfig.EvtDriverDeviceAdd(reinterpret_cast<WDFDRIVER>(s.driver),
                                                   reinterpret_cast<PWDFDEVICE_INIT>(init));
    });
    if (s.openInits.erase(init) != 0)
        delete init; // the framework frees an init that no device took
    for (Object* object : s.driver->children) {
        if (object->kind == Kind::Device && !static_cast<Device*>(object)->init.pdo)
            s.filter = static_cast<Device*>(object);
    }
    if (!NT_SUCCESS(status) || s.filter == nullptr)
        return static_cast<uint32_t>(NT_SUCCESS(status) ? STATUS_UNSUCCESSFUL : status);
    s.filter->below.model = model;
    status = prepareHardware();
    if (NT_SUCCESS(status))
        d0Entry(WdfPowerDeviceD3Final);
    return static_cast<uint32_t>(status);
}

ControlIdentity Machine::controlIdentity() {
    Device& fdo = filter();
    if (fdo.staticChildren.empty())
        return {};
    Device& pdo = *fdo.staticChildren.front();
    ControlIdentity identity = pdo.init.identity;
    identity.defaultQueuePowerManaged =
        pdo.defaultQueue == nullptr || pdo.defaultQueue->config.PowerManaged != WdfFalse;
    const GUID expected = OBX_GUID_DEVINTERFACE_OBX_CONTROL_INIT;
    identity.interfaceRegistered =
        std::any_of(pdo.interfaces.begin(), pdo.interfaces.end(),
                    [&](const GUID& g) { return std::memcmp(&g, &expected, sizeof g) == 0; });
    identity.staticChildOfFilter = true;
    return identity;
}

uint32_t Machine::openClass() {
    Device& device = filter();
    FileObj* file = openFile(device, "the class driver's file object");
    Request* create = newRequest("the class driver's create", WdfRequestTypeCreate, file, device);
    const std::shared_ptr<RequestResult> record = create->record;
    if (!device.init.files)
        Verifier::fatal("the filter device has no file object callbacks");
    runAt(kPassiveLevel, "EvtDeviceFileCreate", device.init.files->EvtDeviceFileCreate,
          reinterpret_cast<WDFDEVICE>(&device), reinterpret_cast<WDFREQUEST>(create),
          reinterpret_cast<WDFFILEOBJECT>(file));
    if (record->completions != 1)
        Verifier::violation("the class driver's create was not completed in its callback");
    state().classFile = file;
    return record->status;
}

uint32_t Machine::connectClass() {
    CONNECT_DATA connect{};
    connect.ClassDeviceObject = &classDeviceObject;
    connect.ClassService = reinterpret_cast<PVOID>(&recordPackets);
    Bytes input(sizeof connect);
    std::memcpy(input.data(), &connect, sizeof connect);
    return sendInternal(IOCTL_INTERNAL_MOUSE_CONNECT, input, 0).status;
}

RequestResult Machine::internalControl(uint32_t code, size_t outputLength, uint8_t fill) {
    Bytes prefilled(outputLength, fill);
    return sendInternal(code, prefilled, outputLength);
}

void Machine::closeClass() {
    FrameworkState& s = state();
    FileObj* file = s.classFile;
    if (file == nullptr)
        return;
    Device& device = file->device;
    if (device.init.files->EvtFileCleanup != nullptr)
        runAt(kPassiveLevel, "EvtFileCleanup", device.init.files->EvtFileCleanup,
              reinterpret_cast<WDFFILEOBJECT>(file));
    pendingRequestsOf(file, "after its cleanup");
    runAt(kPassiveLevel, "EvtFileClose", device.init.files->EvtFileClose,
          reinterpret_cast<WDFFILEOBJECT>(file));
    device.below.createdFiles.erase(&file->wdm);
    deleteObject(*file);
    s.classFile = nullptr;
}

std::vector<driver::MouseInputData> Machine::takePackets() {
    return std::exchange(state().packets, {});
}

void Machine::report(const Bytes& report) {
    IoTarget* reader = readTargetWithReadWaiting();
    if (reader == nullptr) {
        filter().below.keptReports.push_back(report);
        return;
    }
    Request& read = *std::exchange(reader->pendingRead, nullptr);
    const size_t length = std::min(report.size(), read.readMemory->size);
    std::memcpy(read.readMemory->buffer, report.data(), length);
    atIrql(kDispatchLevel, "the read's completion routine",
           [&] { completeSentRequest(read, STATUS_SUCCESS, length); });
    runLateCancels();
}

void Machine::failRead(uint32_t status) {
    IoTarget* reader = readTargetWithReadWaiting();
    if (reader == nullptr)
        Verifier::fatal("failRead: no read waits below");
    Request& read = *std::exchange(reader->pendingRead, nullptr);
    atIrql(kDispatchLevel, "the read's completion routine",
           [&] { completeSentRequest(read, static_cast<NTSTATUS>(status), 0); });
}

std::vector<uint32_t> Machine::passedDown() {
    return {state().passedDown.begin(), state().passedDown.end()};
}

bool Machine::readWaitingBelow() {
    return readTargetWithReadWaiting() != nullptr;
}

int Machine::maxSendDepth() {
    return state().maxSendDepth;
}

Handle Machine::openControl() {
    Device* pdo = controlDevice();
    if (pdo == nullptr)
        Verifier::fatal("the filter device has no control device");
    FileObj* file = openFile(*pdo, "the helper's handle " + std::to_string(state().controlHandles.size()));
    state().controlHandles.push_back(file);
    return static_cast<Handle>(state().controlHandles.size() - 1);
}

RequestResult Machine::control(Handle handle, uint32_t code, const Bytes& input, size_t outputLength) {
    FileObj* file = state().controlHandles.at(handle);
    Device& pdo = file->device;
    Request* request = newRequest("the control request " + hex(code), WdfRequestTypeDeviceControl, file, pdo);
    request->code = code;
    request->mode = UserMode;
    setBuffers(*request, input, outputLength);
    const std::shared_ptr<RequestResult> record = request->record;
    Queue& queue = queueFor(pdo, WdfRequestTypeDeviceControl);
    runAt(kPassiveLevel, "EvtIoDeviceControl", queue.config.EvtIoDeviceControl,
          reinterpret_cast<WDFQUEUE>(&queue), reinterpret_cast<WDFREQUEST>(request), outputLength,
          input.size(), static_cast<ULONG>(code));
    runLateCancels();
    return *record;
}

RequestId Machine::read(Handle handle, size_t length) {
    FileObj* file = state().controlHandles.at(handle);
    Device& pdo = file->device;
    const RequestId id = static_cast<RequestId>(state().requests.size());
    Request* request = newRequest("the read request #" + std::to_string(id), WdfRequestTypeRead, file, pdo);
    request->mode = UserMode;
    setBuffers(*request, {}, length);
    Queue& queue = queueFor(pdo, WdfRequestTypeRead);
    runAt(kPassiveLevel, "EvtIoRead", queue.config.EvtIoRead, reinterpret_cast<WDFQUEUE>(&queue),
          reinterpret_cast<WDFREQUEST>(request), length);
    return id;
}

const RequestResult& Machine::result(RequestId id) {
    return *state().requests.at(id);
}

void Machine::cancel(RequestId id) {
    if (Request* request = liveRequest(id))
        cancelRequest(*request);
}

void Machine::cancelDuringCompletion(RequestId id, bool routineFirst) {
    Request* request = liveRequest(id);
    if (request == nullptr)
        Verifier::fatal("request " + std::to_string(id) + " is no longer with the driver");
    request->race = routineFirst ? CancelRace::RoutineFirst : CancelRace::RoutineLast;
}

void Machine::closeControl(Handle handle) {
    FileObj*& file = state().controlHandles.at(handle);
    if (file == nullptr)
        return;
    Device& pdo = file->device;
    runAt(kPassiveLevel, "EvtFileCleanup", pdo.init.files->EvtFileCleanup,
          reinterpret_cast<WDFFILEOBJECT>(file));
    // The system sends the close only once every request of the handle is completed.
    pendingRequestsOf(file, "after its handle's cleanup");
    deleteObject(*file);
    file = nullptr;
}

void Machine::advance(uint32_t milliseconds) {
    FrameworkState& s = state();
    const uint64_t end = s.nowMs + milliseconds;
    while (true) {
        Timer* next = nullptr;
        for (Object* object : liveObjects()) {
            auto* timer = object->kind == Kind::Timer ? static_cast<Timer*>(object) : nullptr;
            if (timer != nullptr && timer->dueMs && *timer->dueMs <= end &&
                (next == nullptr || *timer->dueMs < *next->dueMs))
                next = timer;
        }
        if (next == nullptr)
            break;
        s.nowMs = *next->dueMs;
        setTickCount(s.nowMs);
        next->dueMs.reset();
        if (next->config.Period != 0)
            next->dueMs = s.nowMs + next->config.Period;
        if (s.holdTicks)
            s.heldTicks.push_back(next);
        else
            runAt(kDispatchLevel, "EvtTimerFunc", next->config.EvtTimerFunc,
                  reinterpret_cast<WDFTIMER>(next));
    }
    s.nowMs = end;
    setTickCount(end);
    runLateCancels();
}

void Machine::holdTicks() {
    state().holdTicks = true;
}

// A stop without waiting does not take back a timer function already queued: each held one runs.
void Machine::releaseTicks() {
    FrameworkState& s = state();
    s.holdTicks = false;
    for (Timer* timer : std::exchange(s.heldTicks, {}))
        runAt(kDispatchLevel, "EvtTimerFunc", timer->config.EvtTimerFunc, reinterpret_cast<WDFTIMER>(timer));
}

void Machine::sleep() {
    d0Exit(WdfPowerDeviceD3);
}

void Machine::resume() {
    d0Entry(WdfPowerDeviceD3);
}

void Machine::stop() {
    d0Exit(WdfPowerDeviceD3Final);
    releaseHardware();
}

void Machine::restart() {
    if (!NT_SUCCESS(prepareHardware()))
        Verifier::violation("EvtDevicePrepareHardware failed on the restart");
    d0Entry(WdfPowerDeviceD3Final);
}

std::string Machine::debugOutput() {
    return state().debugOutput;
}

void Machine::watchControl(std::function<void(ControlNotice)> watcher) {
    state().controlWatcher = std::move(watcher);
}

uint32_t Machine::queryRemove() {
    Device& device = filter();
    tellControlHolder(ControlNotice::QueryRemove);
    NTSTATUS status = STATUS_SUCCESS;
    atIrql(kPassiveLevel, "EvtDeviceQueryRemove",
           [&] { status = device.init.pnp.EvtDeviceQueryRemove(reinterpret_cast<WDFDEVICE>(&device)); });
    // A handle still open on the control device vetoes the removal once the drivers have agreed to
    // it: they are told it is cancelled.
    const auto& handles = state().controlHandles;
    if (NT_SUCCESS(status) &&
        std::any_of(handles.begin(), handles.end(), [](FileObj* file) { return file != nullptr; })) {
        cancelRemove();
        return kRemovalVetoed;
    }
    return static_cast<uint32_t>(status);
}

void Machine::cancelRemove() {
    Device& device = filter();
    if (device.init.preprocess == nullptr || device.init.preprocessMajor != IRP_MJ_PNP ||
        std::find(device.init.preprocessMinors.begin(), device.init.preprocessMinors.end(),
                  IRP_MN_CANCEL_REMOVE_DEVICE) == device.init.preprocessMinors.end())
        Verifier::fatal("the filter device does not take the cancelled removal");
    // An IRP with two stack locations, the current one the filter's.
    struct {
        IRP irp;
        IO_STACK_LOCATION stack[2];
    } packet{};
    packet.irp.StackCount = 2;
    packet.irp.CurrentLocation = 1;
    packet.irp.Tail.Overlay.CurrentStackLocation = &packet.stack[0];
    packet.stack[0].MajorFunction = IRP_MJ_PNP;
    packet.stack[0].MinorFunction = IRP_MN_CANCEL_REMOVE_DEVICE;
    runAt(kPassiveLevel, "the cancelled removal's preprocess callback", device.init.preprocess,
          reinterpret_cast<WDFDEVICE>(&device), &packet.irp);
    tellControlHolder(ControlNotice::RemoveCancelled);
}

void Machine::remove() {
    d0Exit(WdfPowerDeviceD3Final);
    if (readWaitingBelow())
        Verifier::violation("a read waits below a device that left its working state");
    releaseHardware();
    closeClass();
    tellControlHolder(ControlNotice::RemoveComplete);
    for (Handle handle = 0; handle < static_cast<Handle>(state().controlHandles.size()); ++handle)
        closeControl(handle);
    deleteDevices();
}

void Machine::surpriseRemove() {
    Device& device = filter();
    // The HID class fails the read that waits, and every later one.
    for (Object* child : device.children) {
        auto* target = child->kind == Kind::IoTarget ? static_cast<IoTarget*>(child) : nullptr;
        if (target == nullptr || target->pendingRead == nullptr)
            continue;
        Request& read = *std::exchange(target->pendingRead, nullptr);
        atIrql(kDispatchLevel, "the read's completion routine",
               [&] { completeSentRequest(read, STATUS_DEVICE_NOT_CONNECTED, 0); });
        if (target->pendingRead != nullptr)
            Verifier::violation("the driver sent another read to the removed device");
    }
    d0Exit(WdfPowerDeviceD3Final);
    releaseHardware();
    closeClass();
    for (Handle handle = 0; handle < static_cast<Handle>(state().controlHandles.size()); ++handle)
        closeControl(handle);
    deleteDevices();
}

void Machine::unload() {
    FrameworkState& s = state();
    if (s.filter != nullptr)
        surpriseRemove();
    if (s.driverObject.DriverUnload == nullptr)
        Verifier::fatal("the driver has no unload routine");
    atIrql(kPassiveLevel, "the driver's unload", [&] { s.driverObject.DriverUnload(&s.driverObject); });
    if (s.bound || s.unbinds != 1)
        Verifier::violation("the driver did not unbind from the framework once at unload");
    for (Object* object : liveObjects())
        Verifier::violation(object->name + " is left after unload");
    for (const auto& [block, size] : s.pool)
        Verifier::violation("a pool block of " + std::to_string(size) + " bytes is left after unload");
    if (!s.openInits.empty())
        Verifier::violation("a device init was neither used nor freed");
    for (size_t id = 0; id < s.requests.size(); ++id) {
        if (s.requests[id]->completions != 1)
            Verifier::violation("request " + std::to_string(id) + " was completed " +
                                std::to_string(s.requests[id]->completions) + " times");
    }
}

void Machine::reset() {
    resetObjects();
    FrameworkState& s = state();
    for (const auto& [block, size] : s.pool)
        std::free(block);
    for (DeviceInit* init : s.openInits)
        delete init;
    s = FrameworkState{};
    setTickCount(0);
    Verifier::take();
}

} // namespace obx::kmdf_double
