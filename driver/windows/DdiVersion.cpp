// RtlIsNtDdiVersionAvailable: the kernel headers map it to a routine of the kit's static library,
// which mingw-w64 does not have; this is the same test from the running system's version.

#include "KernelHeaders.h"

extern "C" BOOLEAN WdmlibRtlIsNtDdiVersionAvailable(ULONG version) {
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!NT_SUCCESS(RtlGetVersion(&info)))
        return FALSE;
    // The top half of an NTDDI value is the major and minor version, one byte each.
    const ULONG running = (info.dwMajorVersion & 0xFF) << 24 | (info.dwMinorVersion & 0xFF) << 16;
    return running >= (version & 0xFFFF0000u);
}
