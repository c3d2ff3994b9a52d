#pragma once

// The installer's request that this session's helper quit before it replaces the files: a
// manual-reset event "Global\ObxHelperQuit-<session>" that this session's helper makes and that only
// the system and administrators may set. The installer, as the system account, cannot reach the
// windows of other sessions; this reaches every session's helper, which then ends as on --quit and
// starts again at the next sign-in. An event of that name made by another user first is not ours and
// is ignored (the helper is then not asked).

#include "platform/windows/shell/InstallerQuitEventName.h"

#include <windows.h>

namespace obx::windows {

class InstallerQuitSignal {
public:
    InstallerQuitSignal();
    ~InstallerQuitSignal();
    InstallerQuitSignal(const InstallerQuitSignal&) = delete;
    InstallerQuitSignal& operator=(const InstallerQuitSignal&) = delete;

    // Signalled when the installer asks; null when the event could not be had.
    HANDLE handle() const { return event_; }

private:
    HANDLE event_ = nullptr;
};

} // namespace obx::windows
