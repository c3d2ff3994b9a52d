#pragma once

// The state of the double's framework: its object types, the HID collection below the filter device,
// and everything the scenarios drive and inspect.

#include "Machine.h"
#include "Objects.h"

#include <deque>
#include <functional>
#include <map>

namespace obx::kmdf_double {

struct Device;
struct Request;

struct DeviceInit {
    bool pdo = false;
    Device* parent = nullptr; // of a control device
    bool filter = false;
    DEVICE_TYPE type = 0;
    WDF_PNPPOWER_EVENT_CALLBACKS pnp{};
    PFN_WDFDEVICE_WDM_IRP_PREPROCESS preprocess = nullptr;
    UCHAR preprocessMajor = 0;
    std::vector<UCHAR> preprocessMinors;
    std::optional<WDF_FILEOBJECT_CONFIG> files;
    std::optional<WDF_OBJECT_ATTRIBUTES> fileAttributes;
    std::optional<WDF_OBJECT_ATTRIBUTES> requestAttributes;
    ControlIdentity identity;
};

struct Queue final : Object {
    Queue(Device& device, const WDF_IO_QUEUE_CONFIG& config)
        : Object(Kind::Queue, "a queue"), device(device), config(config) {}
    Device& device;
    WDF_IO_QUEUE_CONFIG config;
};

struct FileObj final : Object {
    FileObj(Device& device, std::string name) : Object(Kind::FileObject, std::move(name)), device(device) {}
    Device& device;
    FILE_OBJECT wdm{};
};

struct Memory final : Object {
    Memory() : Object(Kind::Memory, "a memory object") {}
    void* buffer = nullptr;
    size_t size = 0;
    std::unique_ptr<std::max_align_t[]> storage; // framework-allocated memory
};

struct IoTarget final : Object {
    IoTarget(Device& device, bool remote, std::string name)
        : Object(Kind::IoTarget, std::move(name)), device(device), remote(remote), open(!remote) {}
    void deleting() override;

    Device& device;
    bool remote;
    bool open;
    bool started = true; // WdfIoTargetStop and WdfIoTargetStart
    FILE_OBJECT* file = nullptr;
    Request* pendingRead = nullptr;
};

// How a scenario lets a cancel race the completion of a request: the cancel arrives as the driver
// takes the request's cancel routine back, and its routine runs before that call returns (as on
// another processor) or after the driver's completion path has returned.
enum class CancelRace { None, RoutineFirst, RoutineLast };

struct Request final : Object {
    explicit Request(std::string name) : Object(Kind::Request, std::move(name)) {}
    // A request of the system (from above): its record is the scenario's view of it.
    std::shared_ptr<RequestResult> record;
    WDF_REQUEST_TYPE type = WdfRequestTypeOther;
    ULONG code = 0;
    FileObj* file = nullptr;
    KPROCESSOR_MODE mode = KernelMode;
    std::vector<uint8_t> systemBuffer;
    size_t inputLength = 0;
    size_t outputLength = 0;
    PFN_WDF_REQUEST_CANCEL cancelRoutine = nullptr;
    bool cancelled = false;
    CancelRace race = CancelRace::None;
    // The driver's own request, sent to a target.
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;
    IoTarget* formattedFor = nullptr;
    Memory* readMemory = nullptr;
    PFN_WDF_REQUEST_COMPLETION_ROUTINE completion = nullptr;
    WDFCONTEXT completionContext = nullptr;
    bool sent = false;
};

struct Lock final : Object {
    explicit Lock(Kind kind) : Object(kind, kind == Kind::SpinLock ? "a spin lock" : "a wait lock") {}
    void deleting() override;
    bool held = false;
    uint8_t irqlBefore = 0;
};

struct Timer final : Object {
    Timer(const WDF_TIMER_CONFIG& config) : Object(Kind::Timer, "a timer"), config(config) {}
    WDF_TIMER_CONFIG config;
    std::optional<uint64_t> dueMs;
};

// The HID collection below the filter device, as the HID class presents it.
struct HidCollectionBelow {
    HidModel model;
    std::deque<std::vector<uint8_t>> keptReports; // reports that came while no read waited
    std::set<const FILE_OBJECT*> createdFiles;
};

struct Device final : Object {
    Device(DeviceInit init, std::string name)
        : Object(Kind::Device, std::move(name)), init(std::move(init)) {}
    DeviceInit init;
    Queue* defaultQueue = nullptr;
    std::map<WDF_REQUEST_TYPE, Queue*> dispatch;
    IoTarget* target = nullptr;
    std::vector<Device*> staticChildren;
    std::vector<GUID> interfaces;
    WDF_DEVICE_PNP_CAPABILITIES capabilities{};
    DEVICE_OBJECT wdmBelow{}; // the device object of the HID class below
    HidCollectionBelow below;
};

struct FrameworkState {
    DRIVER_OBJECT driverObject{};
    Object* driver = nullptr;
    WDF_DRIVER_CONFIG driverConfig{};
    bool bound = false;
    int unbinds = 0;
    std::set<DeviceInit*> openInits;
    std::map<void*, size_t> pool;
    uint64_t nowMs = 0;
    std::vector<std::shared_ptr<RequestResult>> requests;
    std::vector<driver::MouseInputData> packets;
    int sendDepth = 0;
    int maxSendDepth = 0;
    // Cancel routines that run once the step in progress has returned.
    std::vector<std::pair<Request*, PFN_WDF_REQUEST_CANCEL>> lateCancels;
    Device* filter = nullptr;
    FileObj* classFile = nullptr;
    std::vector<FileObj*> controlHandles;
    // The internal requests the driver passed on to the device's own target, by code.
    std::vector<ULONG> passedDown;
    // Timer functions that came due while the scenario had them wait, as on another processor.
    bool holdTicks = false;
    std::vector<Timer*> heldTicks;
    std::function<void(ControlNotice)> controlWatcher;
    std::string debugOutput;
};

FrameworkState& state();

// The framework functions take the driver globals first; the double has one driver.
using Globals = PWDF_DRIVER_GLOBALS;

// Puts `function`, checked against the header's type of the entry, into the function table.
template <typename Pfn>
void install(WDFFUNC* table, WDFFUNCENUM index, Pfn function) {
    table[index] = reinterpret_cast<WDFFUNC>(function);
}

void installDeviceFunctions(WDFFUNC* table);
void installLockAndTimerFunctions(WDFFUNC* table);
void installRequestFunctions(WDFFUNC* table);
void installIoTargetFunctions(WDFFUNC* table);

Request* requestOf(WDFREQUEST handle, const char* call);

// The HID class handed out the collection descriptor into `block`: HidP_GetCaps may parse it.
void registerPreparsedSize(const void* block, size_t size);

// Completion of a request the driver sent to the HID collection below.
void completeSentRequest(Request& request, NTSTATUS status, ULONG_PTR information);

} // namespace obx::kmdf_double
