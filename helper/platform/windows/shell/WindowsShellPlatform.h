#pragma once

// The helper entry's system side on Windows.

#include "shell/ShellPlatform.h"

namespace obx::windows {

class WindowsShellPlatform : public ShellPlatform {
public:
    void askRunningInstanceToQuit(std::chrono::milliseconds timeout) override;
    void launchConfigurationApp() override;
    std::unique_ptr<IAppWindow> claimInstance() override;
    unsigned long runningInstanceId() override;
    bool installDesktop() override;
    void initializeComponentModel() override;
    void uninitializeComponentModel() override;

private:
    bool comInitialized_ = false;
};

} // namespace obx::windows
