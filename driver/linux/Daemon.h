#pragma once

// The daemon: the runtime folder, the trackballs and the event loop that serves them until a stop
// signal.

#include "Options.h"

namespace obx::kernd {

// Returns the process's exit code: 0 after a clean stop, 1 when it could not start or run.
int runDaemon(const DaemonOptions& options);

} // namespace obx::kernd
