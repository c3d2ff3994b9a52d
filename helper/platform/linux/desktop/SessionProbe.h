#pragma once

// Looks at the running session for the desktop bridge choice.

#include "platform/linux/desktop/DesktopBridgeChoice.h"

namespace obx::linuxos {

// From the environment, the X server, the session bus (names asked for with
// a short timeout) and the Wayland compositor's globals.
SessionFacts probeSession();

} // namespace obx::linuxos
