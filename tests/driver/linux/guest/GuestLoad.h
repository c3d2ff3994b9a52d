#pragma once

#include "GuestSupport.h"

#include <sys/types.h>

namespace obx::guest {

// The load benchmark: reports at 1,000 a second to a trackball that obxkernd serves and to a twin that
// the kernel's own input serves, while busy processes take the CPU; prints the lateness of each path
// (write to event) and the reports lost, for the daemon at nice 0 and at the unit's nice -10. Not
// gated: it fails only when it cannot run.
void runLoadBenchmark(uint16_t vendor, uint16_t servedProduct, uint16_t ownProduct, pid_t daemon);

} // namespace obx::guest
