#pragma once

// A notification shown by the desktop's notification server
// (org.freedesktop.Notifications on the session bus).

#include <string>

namespace obx::linuxos {

// Whether the server took it; waits one second at most.
bool showDesktopNotification(const std::string& summary, const std::string& body);

} // namespace obx::linuxos
