#pragma once

// The popup in the user's session: a hidden window that owns the
// notification-area icon with its balloon and the popup's one timer.

#include <optional>
#include <string>
#include <windows.h>

namespace obx {
class ServiceLog;
}

namespace obx::win {

// Runs the popup until its window is destroyed; the process's exit code, 0.
int runPopupWindow(HINSTANCE instance, ServiceLog& log);

// The user's first preferred display-language name, UTF-8; empty when the
// system gives none.
std::optional<std::string> preferredDisplayLanguage();

} // namespace obx::win
