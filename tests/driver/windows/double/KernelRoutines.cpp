// The kernel's routines that the driver imports: pool, the WDM and system version, the tick length,
// the debugger's output.

#include "FrameworkState.h"
#include "Verifier.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace obx::kmdf_double {

namespace {

PVOID NTAPI allocatePool(POOL_TYPE type, SIZE_T size, ULONG) {
    if (type == PagedPool)
        Verifier::requirePassive("ExAllocatePoolWithTag (paged)");
    else
        Verifier::requireAtMost(kDispatchLevel, "ExAllocatePoolWithTag");
    void* block = std::malloc(size == 0 ? 1 : size);
    state().pool[block] = size;
    return block;
}

VOID NTAPI freePool(PVOID block, ULONG) {
    Verifier::requireAtMost(kDispatchLevel, "ExFreePoolWithTag");
    if (state().pool.erase(block) == 0) {
        Verifier::violation("ExFreePoolWithTag of a block that is not allocated");
        return;
    }
    std::free(block);
}

BOOLEAN NTAPI wdmVersionAvailable(UCHAR major, UCHAR minor) {
    return major < 6 || (major == 6 && minor <= 0x30); // Windows 10
}

ULONG NTAPI queryTimeIncrement() {
    return 10000; // 1 ms: the double's tick is a millisecond
}

// The kernel debugger's output, kept for the scenarios.
ULONG dbgPrintEx(ULONG, ULONG, PCSTR format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    state().debugOutput += text;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI getVersion(PRTL_OSVERSIONINFOW info) {
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    return STATUS_SUCCESS;
}

} // namespace

} // namespace obx::kmdf_double

using namespace obx::kmdf_double;

// The driver's imports of the kernel, through the import pointers it calls.
extern "C" {
decltype(&allocatePool) __imp_ExAllocatePoolWithTag = allocatePool;
decltype(&freePool) __imp_ExFreePoolWithTag = freePool;
decltype(&wdmVersionAvailable) __imp_IoIsWdmVersionAvailable = wdmVersionAvailable;
decltype(&queryTimeIncrement) __imp_KeQueryTimeIncrement = queryTimeIncrement;
decltype(&getVersion) __imp_RtlGetVersion = getVersion;
decltype(&dbgPrintEx) __imp_DbgPrintEx = dbgPrintEx;
}
