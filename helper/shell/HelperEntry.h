#pragma once

// The helper program from its command line to its exit code: process set-up,
// options, the single-instance rule, the log, start-up, the main loop and
// shutdown.

#include "shell/App.h"
#include "shell/ShellPlatform.h"

#include <functional>

namespace obx {

inline constexpr int exitNormal = 0;
inline constexpr int exitStartFailed = 1;
inline constexpr int exitAlreadyRunning = 2;

struct HelperParts {
    ShellPlatform& platform;
    // Converts the legacy settings file; called only when the settings file
    // is missing and the legacy one exists.
    std::function<void()> migrateLegacySettings;
    App::HelperCoreFactory createHelperCore;
};

int runHelper(int argc, const char* const argv[], const HelperParts& parts);

} // namespace obx
