#pragma once

// The application window of a Linux session: the instance socket stands for
// the window (the running instance's mark and the target of "quit"),
// termination signals close it as the system's close request would, logind
// brings the session and power notices, the panel's StatusNotifierWatcher
// shows the icon, and the main loop polls them all.

#include "platform/linux/session/LogindWatch.h"
#include "platform/linux/shell/InstanceSocket.h"
#include "platform/linux/shell/StatusNotifierDisplay.h"
#include "platform/linux/shell/StopSignals.h"
#include "shell/AppWindow.h"

#include <functional>
#include <memory>

namespace obx::linuxos {

class LinuxAppWindow : public IAppWindow {
public:
    LinuxAppWindow(std::unique_ptr<InstanceListener> instance, std::function<void()> launchConfigurationApp);
    ~LinuxAppWindow() override;

    bool create(ISessionEventSink& sink) override;
    ITrayIconDisplay& trayIconDisplay() override;
    // Through the desktop's notification server, icon or not.
    bool showNotification(const CTrayIcon& icon, const std::string& title, const std::string& body) override;
    void postLaunchRequest() override;
    bool trackTrayMenu(const std::u16string& label) override;
    void runMessageLoop() override;

private:
    class LaunchRequests;

    std::unique_ptr<InstanceListener> instance_;
    StopSignals stopSignals_;
    std::unique_ptr<LaunchRequests> launchRequests_;
    std::unique_ptr<StatusNotifierDisplay> trayDisplay_;
    std::unique_ptr<LogindWatch> logind_;
};

} // namespace obx::linuxos
