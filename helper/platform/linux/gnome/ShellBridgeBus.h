#pragma once

// The D-Bus object that our GNOME Shell extension exports on the session bus
// (extension/bridge.js), and what it tells of the focused window.

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace obx::gnome {

// The extension lives in the Shell's process, on the Shell's own connection:
// the helper calls it there, never on whoever holds the bridge's name.
inline constexpr const char* shellBusName = "org.gnome.Shell";
inline constexpr const char* bridgeBusName = "org.obx.ShellBridge";
inline constexpr const char* bridgeObjectPath = "/org/obx/ShellBridge";
inline constexpr const char* bridgeInterface = "org.obx.ShellBridge1";
// The extension's two copies, each in a folder of its uuid: GNOME Shell 45
// and later load the module-style one, 43 and 44 the script-style one
// (extension/CMakeLists.txt).
inline constexpr const char* extensionUuid = "obxhelper@bridge.obx";
inline constexpr const char* scriptExtensionUuid = "obxhelper-legacy@bridge.obx";
inline constexpr int firstModuleStyleMajor = 45;
inline constexpr const char* extensionUuids[] = {extensionUuid, scriptExtensionUuid};

// The copy that a Shell of this major loads.
constexpr const char* extensionUuidFor(int shellMajor) {
    return shellMajor < firstModuleStyleMajor ? scriptExtensionUuid : extensionUuid;
}

struct ShellFocus {
    pid_t pid = 0;            // 0 when the Shell does not know the process
    std::string appId;        // the Wayland app id (or X11 class)
    std::uint64_t window = 0; // the Shell's window id; 0 without a focused window
};

} // namespace obx::gnome
