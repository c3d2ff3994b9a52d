#pragma once

// The filter device of one trackball: the driver core's filter device with everything the framework
// gives it, in the framework device's context.

#include "KernelHeaders.h"

namespace obx::windows {

// The driver's add-device callback: makes the filter device and its control device.
NTSTATUS addFilterDevice(WDFDRIVER driver, PWDFDEVICE_INIT init);

} // namespace obx::windows
