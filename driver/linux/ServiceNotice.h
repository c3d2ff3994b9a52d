#pragma once

namespace obx::kernd {

// Tells a service manager that listens on $NOTIFY_SOCKET how the daemon stands ("READY=1",
// "STOPPING=1"); without the variable nothing is sent. Tests wait for readiness the same way.
void notifyServiceManager(const char* state);

} // namespace obx::kernd
