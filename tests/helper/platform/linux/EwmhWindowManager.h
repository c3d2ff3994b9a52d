#pragma once

// A real window manager on a test's display: openbox, small and following
// EWMH, started with its packaged configuration so that nothing of the
// user's own set-up changes its behaviour; ended with the object.

#include "ChildProcess.h"

#include <X11/Xlib.h>
#include <string>

namespace obx::x11::test {

class EwmhWindowManager {
public:
    explicit EwmhWindowManager(const std::string& displayName);

    // Waits until the manager has finished starting and manages windows
    // mapped from now on; false when it did not within the generous wait.
    // Its EWMH announcement comes too early for that: a window mapped
    // between the announcement and the end of its start-up stays unmapped.
    bool waitUntilRunning(Display* display) const;

private:
    ChildProcess process_;
};

} // namespace obx::x11::test
