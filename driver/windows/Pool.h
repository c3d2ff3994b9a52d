#pragma once

#include "KernelHeaders.h"

namespace obx::windows {

// The tag of every allocation of the driver, "Obxk" as pool tools show it.
inline constexpr ULONG kPoolTag = ULONG{'O'} | ULONG{'b'} << 8 | ULONG{'x'} << 16 | ULONG{'k'} << 24;

// Non-paged memory that cannot be executed where the system has it (Windows 8 and later).
inline POOL_TYPE nonPagedPool() {
    return RtlIsNtDdiVersionAvailable(NTDDI_WIN8) ? NonPagedPoolNx : NonPagedPool;
}

} // namespace obx::windows
