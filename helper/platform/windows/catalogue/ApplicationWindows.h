#pragma once

// The programs behind the windows a user would call applications.

#include <functional>
#include <string>

namespace obx::windows {

// For each top-level window of the desktop "default", topmost first, that is
// visible, titled, framed as an application window, not empty and served by
// a thread that answers: the drive-letter path of its program. Windows whose
// program cannot be read or has no drive-letter path are passed over. Stops
// as soon as visit returns false; an exception from visit ends the walk and
// reaches the caller.
void visitApplicationWindows(const std::function<bool(const std::wstring& program)>& visit);

} // namespace obx::windows
