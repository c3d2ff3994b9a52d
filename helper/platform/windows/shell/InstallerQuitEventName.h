#pragma once

// The name of the session event through which the installer asks that session's helper to quit. Both
// the helper (which makes the event) and the installer's custom action (which sets it) include this,
// so the two cannot drift apart.

#include <string>

namespace obx::windows {

// "Global\ObxHelperQuit-<session>".
inline std::wstring installerQuitEventName(unsigned long session) {
    return L"Global\\ObxHelperQuit-" + std::to_wstring(session);
}

} // namespace obx::windows
