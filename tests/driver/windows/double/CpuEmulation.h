#pragma once

#include <cstdint>

namespace obx::kmdf_double {

// The kernel's inline routines read and write the processor's task priority register (KeRaiseIrql,
// KeLowerIrql) and read the tick count from the kernel's shared page (KeQueryTickCount): privileged
// in a user process. This emulates the two instructions forms the compiler makes of them, over the
// double's IRQL and tick count.
void installCpuEmulation();

// The tick count the shared page shows; a tick is `kTickIncrement` 100-nanosecond units.
inline constexpr uint32_t kTickIncrement = 10000; // one millisecond
void setTickCount(uint64_t ticks);

} // namespace obx::kmdf_double
