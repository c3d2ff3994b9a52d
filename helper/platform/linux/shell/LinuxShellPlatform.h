#pragma once

// The helper entry's system side on Linux.

#include "shell/ShellPlatform.h"

#include <string>

namespace obx::linuxos {

class LinuxShellPlatform : public ShellPlatform {
public:
    void askRunningInstanceToQuit(std::chrono::milliseconds timeout) override;
    void launchConfigurationApp() override;
    std::unique_ptr<IAppWindow> claimInstance() override;
    unsigned long runningInstanceId() override;
    bool installDesktop() override;
    std::string desktopChoice() const override { return desktopChoice_; }

private:
    void installX11();
    void installWlroots(const std::string& waylandDisplay);
    void installGnome();
    void installKde();
    void installHeadless();

    std::string desktopChoice_;
};

// Whether an X display can be opened ($DISPLAY set and the server answers).
bool desktopDisplayAvailable();

} // namespace obx::linuxos
