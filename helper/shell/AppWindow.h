#pragma once

// What the application object needs of the system on the main thread: its
// hidden window (the running instance's marker and the target of "quit"),
// the session and power notices, the notification area and the main loop.

#include "shared/TrayIconDisplay.h"
#include "shell/SessionEvents.h"

#include <string>

namespace obx {
class CTrayIcon;
}

namespace obx {

class IAppWindow {
public:
    virtual ~IAppWindow() = default;

    // Creates the window and starts delivering session and power notices to
    // sink from the main loop; false when the window cannot be made.
    virtual bool create(ISessionEventSink& sink) = 0;
    virtual ITrayIconDisplay& trayIconDisplay() = 0;
    // A desktop notification, over icon where the system shows them there;
    // from any thread, waiting a bounded time. False when it was not shown.
    virtual bool showNotification(const CTrayIcon& /*icon*/, const std::string& /*title*/,
                                  const std::string& /*body*/) {
        return false;
    }
    // Has the main loop start the configuration application, so that an icon
    // handler never waits for a process start.
    virtual void postLaunchRequest() = 0;
    // The icon's context menu with one entry at the pointer; true when the
    // user chose it.
    virtual bool trackTrayMenu(const std::u16string& label) = 0;
    // Runs until the window is closed (the "quit" request, or the system
    // asking the program to end).
    virtual void runMessageLoop() = 0;
};

} // namespace obx
