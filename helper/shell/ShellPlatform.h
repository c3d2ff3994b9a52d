#pragma once

// What the helper's entry needs of the operating system before and around
// the application object.

#include "shell/AppWindow.h"

#include <chrono>
#include <memory>
#include <string>

namespace obx {

class ShellPlatform {
public:
    virtual ~ShellPlatform() = default;

    // Asks the instance running in this session to close and waits up to
    // timeout for its process to end; nothing happens when none runs.
    virtual void askRunningInstanceToQuit(std::chrono::milliseconds timeout) = 0;
    // Starts the configuration application from the program's folder,
    // detached, or opens the configuration page in the default browser when
    // the application is not installed there; a failure is ignored.
    virtual void launchConfigurationApp() = 0;
    // Makes this process the session's running instance: the window that
    // marks it. Null when another instance holds the mark.
    virtual std::unique_ptr<IAppWindow> claimInstance() = 0;
    // The process id of the instance holding the mark; 0 when none is known.
    virtual unsigned long runningInstanceId() { return 0; }
    // Chooses the platform services and the device layer's desktop queries
    // for this session; false when there is no desktop, so that input is only
    // logged.
    virtual bool installDesktop() = 0;
    // What installDesktop chose and why, for the log; empty when there was
    // no choice to make.
    virtual std::string desktopChoice() const { return {}; }
    // The main thread's component runtime, around the application object;
    // nothing on a system without one.
    virtual void initializeComponentModel() {}
    virtual void uninitializeComponentModel() {}
};

// The implementation of the system the program is built for.
std::unique_ptr<ShellPlatform> makeShellPlatform();

} // namespace obx
