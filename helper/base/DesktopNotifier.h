#pragma once

// The session's desktop notifications, as the shell shows them (the icon's
// balloon on Windows, the notification server on Linux). Until the shell
// installs its notifier nothing is shown. Safe from any thread.

#include <functional>
#include <string>

namespace obx {

// True when the desktop took the notification.
using DesktopNotifier = std::function<bool(const std::string& title, const std::string& body)>;

// Replaces the notifier; an empty one removes it. Once this returns, the old
// notifier is not running and is never called again.
void setDesktopNotifier(DesktopNotifier notifier);
bool notifyDesktop(const std::string& title, const std::string& body);

} // namespace obx
