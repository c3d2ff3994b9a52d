// The framework loader stub: the part of every KMDF driver that the Windows Driver Kit links in from
// its stub library, written here from the loader's published interface (WdfVersionBind and
// WdfVersionUnbind of WDFLDR.SYS, and their bind records: third_party/kmdf-loader/fxldr.h). The
// image's entry point binds the driver to the framework, which fills in the function table and the
// driver globals that the framework headers call through, then runs DriverEntry. The binding ends
// when DriverEntry fails or the driver unloads.

#include "KernelHeaders.h"

namespace {

// The loader's bind records, as WDFLDR.SYS reads them.
struct WdfVersion {
    ULONG major;
    ULONG minor;
    ULONG build;
};

struct BindInfo {
    ULONG size;
    PWCHAR component;
    WdfVersion version;
    ULONG functionCount;
    WDFFUNC* functionTable;
    PVOID module;
};

// The second form tells a framework older than the headers which functions and structures the
// driver may use; its size in `size` of the first form is how the loader recognises it.
struct BindInfo2 {
    BindInfo v1;
    ULONG* minimumVersionRequired;
    BOOLEAN* clientVersionHigherThanFramework;
    ULONG* functionCountPointer;
    ULONG* structureCountPointer;
    WDF_STRUCT_INFO* structureTable;
};

} // namespace

extern "C" {

__declspec(dllimport) NTSTATUS WdfVersionBind(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath,
                                              BindInfo* bindInfo, PWDF_DRIVER_GLOBALS* globals);
__declspec(dllimport) NTSTATUS
    WdfVersionUnbind(PUNICODE_STRING registryPath, BindInfo* bindInfo, PWDF_DRIVER_GLOBALS globals);

DRIVER_INITIALIZE DriverEntry;
DRIVER_INITIALIZE ObxFrameworkEntry;

// What the framework headers call through; the loader fills them in at the bind.
const WDFFUNC* WdfFunctions_01033 = nullptr;
PWDF_DRIVER_GLOBALS WdfDriverGlobals = nullptr;
BOOLEAN WdfClientVersionHigherThanFramework = FALSE;
ULONG WdfFunctionCount = 0;
ULONG WdfStructureCount = 0;
WDF_STRUCT_INFO WdfStructures = nullptr;

} // extern "C"

namespace {

WCHAR kComponent[] = L"KmdfLibrary";

// The headers are those of KMDF 1.33; the driver uses only functions that every framework from the
// minimum version (KMDF_MINIMUM_VERSION_REQUIRED of the build) on has.
BindInfo2 bindInfo = {
    {sizeof(BindInfo2),
     kComponent,
     {KMDF_VERSION_MAJOR, KMDF_VERSION_MINOR, 0},
     WdfFunctionTableNumEntries,
     reinterpret_cast<WDFFUNC*>(const_cast<WDFFUNC**>(&WdfFunctions_01033)),
     nullptr},
    &WdfMinimumVersionRequired,
    &WdfClientVersionHigherThanFramework,
    &WdfFunctionCount,
    &WdfStructureCount,
    &WdfStructures,
};

// The unbind at unload names the driver's registry key again; the system's string lives only for
// the entry point, so the stub keeps a copy.
UNICODE_STRING registryPathCopy = {};
PDRIVER_UNLOAD frameworkUnload = nullptr;

void unbind() {
    WdfVersionUnbind(&registryPathCopy, &bindInfo.v1, WdfDriverGlobals);
    if (registryPathCopy.Buffer != nullptr)
        ExFreePoolWithTag(registryPathCopy.Buffer, 0);
    registryPathCopy = {};
}

void stubUnload(PDRIVER_OBJECT driver) {
    frameworkUnload(driver);
    unbind();
}

NTSTATUS copyRegistryPath(PCUNICODE_STRING registryPath) {
    const USHORT bytes = registryPath->Length;
    auto* buffer = static_cast<PWCH>(ExAllocatePoolWithTag(PagedPool, bytes + sizeof(WCHAR), 0));
    if (buffer == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    RtlCopyMemory(buffer, registryPath->Buffer, bytes);
    buffer[bytes / sizeof(WCHAR)] = L'\0';
    registryPathCopy = {bytes, static_cast<USHORT>(bytes + sizeof(WCHAR)), buffer};
    return STATUS_SUCCESS;
}

} // namespace

// The image's entry point (the linker's entry symbol), placed in the discardable INIT section with
// the driver's own entry.
extern "C" __attribute__((section("INIT"))) NTSTATUS ObxFrameworkEntry(PDRIVER_OBJECT driver,
                                                                       PUNICODE_STRING registryPath) {
    NTSTATUS status = copyRegistryPath(registryPath);
    if (!NT_SUCCESS(status))
        return status;
    status = WdfVersionBind(driver, &registryPathCopy, &bindInfo.v1, &WdfDriverGlobals);
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(registryPathCopy.Buffer, 0);
        registryPathCopy = {};
        return status;
    }
    status = DriverEntry(driver, registryPath);
    if (!NT_SUCCESS(status)) {
        unbind();
        return status;
    }
    // The framework's unload (set by WdfDriverCreate) runs first; without one the driver never unloads.
    if (driver->DriverUnload != nullptr) {
        frameworkUnload = driver->DriverUnload;
        driver->DriverUnload = stubUnload;
    }
    return STATUS_SUCCESS;
}
