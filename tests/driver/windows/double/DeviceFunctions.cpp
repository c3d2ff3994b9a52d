// The framework's driver, device init, device, queue, file object and object functions.

#include "FrameworkState.h"
#include "Verifier.h"

namespace obx::kmdf_double {

namespace {

std::wstring text(PCUNICODE_STRING string) {
    return string == nullptr ? std::wstring() : std::wstring(string->Buffer, string->Length / sizeof(WCHAR));
}

DeviceInit& initOf(PWDFDEVICE_INIT init, const char* call) {
    auto* fake = reinterpret_cast<DeviceInit*>(init);
    if (init == nullptr || state().openInits.count(fake) == 0)
        Verifier::fatal(std::string(call) + " called with a device init that is not open");
    Verifier::requirePassive(call);
    return *fake;
}

NTSTATUS driverCreate(Globals, PDRIVER_OBJECT driverObject, PCUNICODE_STRING,
                      PWDF_OBJECT_ATTRIBUTES attributes, PWDF_DRIVER_CONFIG config, WDFDRIVER* driver) {
    Verifier::requirePassive("WdfDriverCreate");
    FrameworkState& s = state();
    if (driverObject != &s.driverObject || s.driver != nullptr)
        Verifier::violation("WdfDriverCreate called twice or with another driver object");
    s.driver = makeObject<Object>("WdfDriverCreate", attributes, nullptr, Kind::Driver, "the driver");
    s.driverConfig = *config;
    // The framework's own unload, which the loader stub calls before it unbinds.
    driverObject->DriverUnload = [](PDRIVER_OBJECT) {
        Verifier::requirePassive("the framework's driver unload");
        deleteObject(*state().driver);
        state().driver = nullptr;
    };
    if (driver != nullptr)
        *driver = reinterpret_cast<WDFDRIVER>(s.driver);
    return STATUS_SUCCESS;
}

void initSetFilter(Globals, PWDFDEVICE_INIT init) {
    initOf(init, "WdfFdoInitSetFilter").filter = true;
}

void initSetDeviceType(Globals, PWDFDEVICE_INIT init, DEVICE_TYPE type) {
    initOf(init, "WdfDeviceInitSetDeviceType").type = type;
}

void initSetPnpPower(Globals, PWDFDEVICE_INIT init, PWDF_PNPPOWER_EVENT_CALLBACKS callbacks) {
    initOf(init, "WdfDeviceInitSetPnpPowerEventCallbacks").pnp = *callbacks;
}

NTSTATUS initAssignPreprocess(Globals, PWDFDEVICE_INIT init, PFN_WDFDEVICE_WDM_IRP_PREPROCESS callback,
                              UCHAR major, PUCHAR minors, ULONG count) {
    DeviceInit& fake = initOf(init, "WdfDeviceInitAssignWdmIrpPreprocessCallback");
    fake.preprocess = callback;
    fake.preprocessMajor = major;
    fake.preprocessMinors.assign(minors, minors + count);
    return STATUS_SUCCESS;
}

void initSetFileObjectConfig(Globals, PWDFDEVICE_INIT init, PWDF_FILEOBJECT_CONFIG config,
                             PWDF_OBJECT_ATTRIBUTES attributes) {
    DeviceInit& fake = initOf(init, "WdfDeviceInitSetFileObjectConfig");
    fake.files = *config;
    if (attributes != nullptr)
        fake.fileAttributes = *attributes;
}

void initSetRequestAttributes(Globals, PWDFDEVICE_INIT init, PWDF_OBJECT_ATTRIBUTES attributes) {
    initOf(init, "WdfDeviceInitSetRequestAttributes").requestAttributes = *attributes;
}

NTSTATUS initAssignSddl(Globals, PWDFDEVICE_INIT init, PCUNICODE_STRING sddl) {
    initOf(init, "WdfDeviceInitAssignSDDLString").identity.securityDescriptor = text(sddl);
    return STATUS_SUCCESS;
}

void initFree(Globals, PWDFDEVICE_INIT init) {
    DeviceInit* fake = &initOf(init, "WdfDeviceInitFree");
    state().openInits.erase(fake);
    delete fake;
}

PWDFDEVICE_INIT pdoInitAllocate(Globals, WDFDEVICE parent) {
    Device* device = as<Device>(parent, Kind::Device, "WdfPdoInitAllocate");
    Verifier::requirePassive("WdfPdoInitAllocate");
    auto* init = new DeviceInit;
    init->pdo = true;
    init->parent = device;
    state().openInits.insert(init);
    return reinterpret_cast<PWDFDEVICE_INIT>(init);
}

NTSTATUS pdoAssignRaw(Globals, PWDFDEVICE_INIT init, const GUID*) {
    initOf(init, "WdfPdoInitAssignRawDevice").identity.raw = true;
    return STATUS_SUCCESS;
}

NTSTATUS pdoAssignDeviceId(Globals, PWDFDEVICE_INIT init, PCUNICODE_STRING id) {
    initOf(init, "WdfPdoInitAssignDeviceID").identity.deviceId = text(id);
    return STATUS_SUCCESS;
}

NTSTATUS pdoAddHardwareId(Globals, PWDFDEVICE_INIT init, PCUNICODE_STRING id) {
    initOf(init, "WdfPdoInitAddHardwareID").identity.hardwareIds.push_back(text(id));
    return STATUS_SUCCESS;
}

NTSTATUS pdoAssignInstanceId(Globals, PWDFDEVICE_INIT init, PCUNICODE_STRING id) {
    initOf(init, "WdfPdoInitAssignInstanceID").identity.instanceId = text(id);
    return STATUS_SUCCESS;
}

NTSTATUS pdoAddDeviceText(Globals, PWDFDEVICE_INIT init, PCUNICODE_STRING description,
                          PCUNICODE_STRING location, LCID) {
    ControlIdentity& identity = initOf(init, "WdfPdoInitAddDeviceText").identity;
    identity.description = text(description);
    identity.location = text(location);
    return STATUS_SUCCESS;
}

void pdoSetDefaultLocale(Globals, PWDFDEVICE_INIT init, LCID) {
    initOf(init, "WdfPdoInitSetDefaultLocale");
}

NTSTATUS deviceCreate(Globals, PWDFDEVICE_INIT* init, PWDF_OBJECT_ATTRIBUTES attributes, WDFDEVICE* device) {
    DeviceInit* fake = &initOf(*init, "WdfDeviceCreate");
    const bool pdo = fake->pdo;
    Device* created = makeObject<Device>("WdfDeviceCreate", attributes, state().driver, std::move(*fake),
                                         pdo ? "the control device" : "the filter device");
    state().openInits.erase(fake);
    delete fake;
    *init = nullptr;
    created->target = makeObject<IoTarget>("WdfDeviceCreate", nullptr, created, *created, false,
                                           "the device's own I/O target");
    *device = reinterpret_cast<WDFDEVICE>(created);
    return STATUS_SUCCESS;
}

WDFIOTARGET deviceGetIoTarget(Globals, WDFDEVICE device) {
    return reinterpret_cast<WDFIOTARGET>(as<Device>(device, Kind::Device, "WdfDeviceGetIoTarget")->target);
}

PDEVICE_OBJECT deviceWdmGetAttachedDevice(Globals, WDFDEVICE device) {
    return &as<Device>(device, Kind::Device, "WdfDeviceWdmGetAttachedDevice")->wdmBelow;
}

NTSTATUS deviceDispatchPreprocessed(Globals, WDFDEVICE device, PIRP irp) {
    as<Device>(device, Kind::Device, "WdfDeviceWdmDispatchPreprocessedIrp");
    // The request goes on to the framework and down the stack, which takes it back as the system does.
    if (irp->CurrentLocation != 2)
        Verifier::violation("WdfDeviceWdmDispatchPreprocessedIrp: the IRP's stack location was not skipped");
    irp->IoStatus.Status = STATUS_SUCCESS;
    return STATUS_SUCCESS;
}

NTSTATUS fdoAddStaticChild(Globals, WDFDEVICE fdo, WDFDEVICE child) {
    Device* parent = as<Device>(fdo, Kind::Device, "WdfFdoAddStaticChild");
    Device* pdo = as<Device>(child, Kind::Device, "WdfFdoAddStaticChild");
    Verifier::requirePassive("WdfFdoAddStaticChild");
    if (!pdo->init.pdo || pdo->init.parent != parent)
        Verifier::violation("WdfFdoAddStaticChild: " + pdo->name +
                            " was not made from this device's PDO init");
    parent->staticChildren.push_back(pdo);
    return STATUS_SUCCESS;
}

void deviceSetPnpCapabilities(Globals, WDFDEVICE device, PWDF_DEVICE_PNP_CAPABILITIES capabilities) {
    as<Device>(device, Kind::Device, "WdfDeviceSetPnpCapabilities")->capabilities = *capabilities;
}

void deviceSetDeviceState(Globals, WDFDEVICE device, PWDF_DEVICE_STATE) {
    as<Device>(device, Kind::Device, "WdfDeviceSetDeviceState");
}

NTSTATUS deviceCreateInterface(Globals, WDFDEVICE device, const GUID* guid, PCUNICODE_STRING) {
    Verifier::requirePassive("WdfDeviceCreateDeviceInterface");
    as<Device>(device, Kind::Device, "WdfDeviceCreateDeviceInterface")->interfaces.push_back(*guid);
    return STATUS_SUCCESS;
}

NTSTATUS queueCreate(Globals, WDFDEVICE device, PWDF_IO_QUEUE_CONFIG config,
                     PWDF_OBJECT_ATTRIBUTES attributes, WDFQUEUE* queue) {
    Device* owner = as<Device>(device, Kind::Device, "WdfIoQueueCreate");
    Verifier::requirePassive("WdfIoQueueCreate");
    if (config->Size != sizeof(WDF_IO_QUEUE_CONFIG))
        Verifier::violation("WdfIoQueueCreate: the queue configuration is not initialised");
    Queue* created = makeObject<Queue>("WdfIoQueueCreate", attributes, owner, *owner, *config);
    if (config->DefaultQueue)
        owner->defaultQueue = created;
    if (queue != nullptr)
        *queue = reinterpret_cast<WDFQUEUE>(created);
    return STATUS_SUCCESS;
}

NTSTATUS deviceConfigureDispatching(Globals, WDFDEVICE device, WDFQUEUE queue, WDF_REQUEST_TYPE type) {
    Device* owner = as<Device>(device, Kind::Device, "WdfDeviceConfigureRequestDispatching");
    owner->dispatch[type] = as<Queue>(queue, Kind::Queue, "WdfDeviceConfigureRequestDispatching");
    return STATUS_SUCCESS;
}

WDFDEVICE queueGetDevice(Globals, WDFQUEUE queue) {
    return reinterpret_cast<WDFDEVICE>(&as<Queue>(queue, Kind::Queue, "WdfIoQueueGetDevice")->device);
}

WDFDEVICE fileGetDevice(Globals, WDFFILEOBJECT file) {
    return reinterpret_cast<WDFDEVICE>(
        &as<FileObj>(file, Kind::FileObject, "WdfFileObjectGetDevice")->device);
}

PFILE_OBJECT fileWdmGetFileObject(Globals, WDFFILEOBJECT file) {
    return &as<FileObj>(file, Kind::FileObject, "WdfFileObjectWdmGetFileObject")->wdm;
}

void objectDelete(Globals, WDFOBJECT handle) {
    Object* object = objectOf(handle, Kind::Any, "WdfObjectDelete");
    if (object->kind == Kind::Device && static_cast<Device*>(object)->init.pdo == false)
        Verifier::violation("WdfObjectDelete called on " + object->name + ", which the framework deletes");
    if (object->kind == Kind::Request && static_cast<Request*>(object)->record != nullptr)
        Verifier::violation("WdfObjectDelete called on " + object->name + ", which the system owns");
    deleteObject(*object);
}

PVOID objectGetTypedContext(Globals, WDFOBJECT handle, PCWDF_OBJECT_CONTEXT_TYPE_INFO type) {
    Object* object = objectOf(handle, Kind::Any, "WdfObjectGetTypedContextWorker");
    if (object->contextType == nullptr || object->contextType->UniqueType != type) {
        Verifier::violation(std::string("WdfObjectGetTypedContextWorker: ") + object->name +
                            " has no context " + (type != nullptr ? type->ContextName : "(none)"));
        return nullptr;
    }
    return object->context.get();
}

} // namespace

void installDeviceFunctions(WDFFUNC* t) {
    install<PFN_WDFDRIVERCREATE>(t, WdfDriverCreateTableIndex, driverCreate);
    install<PFN_WDFFDOINITSETFILTER>(t, WdfFdoInitSetFilterTableIndex, initSetFilter);
    install<PFN_WDFDEVICEINITSETDEVICETYPE>(t, WdfDeviceInitSetDeviceTypeTableIndex, initSetDeviceType);
    install<PFN_WDFDEVICEINITSETPNPPOWEREVENTCALLBACKS>(t, WdfDeviceInitSetPnpPowerEventCallbacksTableIndex,
                                                        initSetPnpPower);
    install<PFN_WDFDEVICEINITASSIGNWDMIRPPREPROCESSCALLBACK>(
        t, WdfDeviceInitAssignWdmIrpPreprocessCallbackTableIndex, initAssignPreprocess);
    install<PFN_WDFDEVICEINITSETFILEOBJECTCONFIG>(t, WdfDeviceInitSetFileObjectConfigTableIndex,
                                                  initSetFileObjectConfig);
    install<PFN_WDFDEVICEINITSETREQUESTATTRIBUTES>(t, WdfDeviceInitSetRequestAttributesTableIndex,
                                                   initSetRequestAttributes);
    install<PFN_WDFDEVICEINITASSIGNSDDLSTRING>(t, WdfDeviceInitAssignSDDLStringTableIndex, initAssignSddl);
    install<PFN_WDFDEVICEINITFREE>(t, WdfDeviceInitFreeTableIndex, initFree);
    install<PFN_WDFPDOINITALLOCATE>(t, WdfPdoInitAllocateTableIndex, pdoInitAllocate);
    install<PFN_WDFPDOINITASSIGNRAWDEVICE>(t, WdfPdoInitAssignRawDeviceTableIndex, pdoAssignRaw);
    install<PFN_WDFPDOINITASSIGNDEVICEID>(t, WdfPdoInitAssignDeviceIDTableIndex, pdoAssignDeviceId);
    install<PFN_WDFPDOINITADDHARDWAREID>(t, WdfPdoInitAddHardwareIDTableIndex, pdoAddHardwareId);
    install<PFN_WDFPDOINITASSIGNINSTANCEID>(t, WdfPdoInitAssignInstanceIDTableIndex, pdoAssignInstanceId);
    install<PFN_WDFPDOINITADDDEVICETEXT>(t, WdfPdoInitAddDeviceTextTableIndex, pdoAddDeviceText);
    install<PFN_WDFPDOINITSETDEFAULTLOCALE>(t, WdfPdoInitSetDefaultLocaleTableIndex, pdoSetDefaultLocale);
    install<PFN_WDFDEVICECREATE>(t, WdfDeviceCreateTableIndex, deviceCreate);
    install<PFN_WDFDEVICEGETIOTARGET>(t, WdfDeviceGetIoTargetTableIndex, deviceGetIoTarget);
    install<PFN_WDFDEVICEWDMGETATTACHEDDEVICE>(t, WdfDeviceWdmGetAttachedDeviceTableIndex,
                                               deviceWdmGetAttachedDevice);
    install<PFN_WDFDEVICEWDMDISPATCHPREPROCESSEDIRP>(t, WdfDeviceWdmDispatchPreprocessedIrpTableIndex,
                                                     deviceDispatchPreprocessed);
    install<PFN_WDFFDOADDSTATICCHILD>(t, WdfFdoAddStaticChildTableIndex, fdoAddStaticChild);
    install<PFN_WDFDEVICESETPNPCAPABILITIES>(t, WdfDeviceSetPnpCapabilitiesTableIndex,
                                             deviceSetPnpCapabilities);
    install<PFN_WDFDEVICESETDEVICESTATE>(t, WdfDeviceSetDeviceStateTableIndex, deviceSetDeviceState);
    install<PFN_WDFDEVICECREATEDEVICEINTERFACE>(t, WdfDeviceCreateDeviceInterfaceTableIndex,
                                                deviceCreateInterface);
    install<PFN_WDFIOQUEUECREATE>(t, WdfIoQueueCreateTableIndex, queueCreate);
    install<PFN_WDFDEVICECONFIGUREREQUESTDISPATCHING>(t, WdfDeviceConfigureRequestDispatchingTableIndex,
                                                      deviceConfigureDispatching);
    install<PFN_WDFIOQUEUEGETDEVICE>(t, WdfIoQueueGetDeviceTableIndex, queueGetDevice);
    install<PFN_WDFFILEOBJECTGETDEVICE>(t, WdfFileObjectGetDeviceTableIndex, fileGetDevice);
    install<PFN_WDFFILEOBJECTWDMGETFILEOBJECT>(t, WdfFileObjectWdmGetFileObjectTableIndex,
                                               fileWdmGetFileObject);
    install<PFN_WDFOBJECTDELETE>(t, WdfObjectDeleteTableIndex, objectDelete);
    install<PFN_WDFOBJECTGETTYPEDCONTEXTWORKER>(t, WdfObjectGetTypedContextWorkerTableIndex,
                                                objectGetTypedContext);
}

} // namespace obx::kmdf_double
