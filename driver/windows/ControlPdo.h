#pragma once

// The control device of one trackball: a raw child device of the filter device that the helper opens
// through its device interface. Its requests go to the core's control device.

#include "KernelHeaders.h"
#include "driver/core/ControlDevice.h"

namespace obx::windows {

// Makes the control device as a static child of the filter device.
NTSTATUS createControlPdo(WDFDEVICE filterDevice, driver::ControlDevice& control);

} // namespace obx::windows
