#pragma once

// The helper entry's system side on Linux.

#include "shell/ShellPlatform.h"

namespace obx::linuxos {

class LinuxShellPlatform : public ShellPlatform {
public:
    void askRunningInstanceToQuit(std::chrono::milliseconds timeout) override;
    void launchConfigurationApp() override;
    std::unique_ptr<IAppWindow> claimInstance() override;
    bool installDesktop() override;
};

// Whether an X display can be opened ($DISPLAY set and the server answers).
bool desktopDisplayAvailable();

} // namespace obx::linuxos
