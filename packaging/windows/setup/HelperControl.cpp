#include "HelperControl.h"

namespace obx::setup {

namespace {

// The elevated half of a split token is never used: its linked, unelevated half is instead.
HANDLE unelevated(UserTokens& tokens, HANDLE token) {
    if (token == nullptr || tokens.elevationType(token) != TokenElevationTypeFull)
        return token;
    HANDLE linked = tokens.linkedToken(token);
    tokens.close(token);
    return linked;
}

} // namespace

std::optional<HelperStartFailure> startHelperUnelevated(UserTokens& tokens, const std::wstring& program,
                                                        const std::wstring& folder) {
    HANDLE token = unelevated(tokens, tokens.shellToken());
    if (token == nullptr)
        token = unelevated(tokens, tokens.ownToken());
    if (token == nullptr)
        return HelperStartFailure{false, GetLastError()};
    const DWORD error = tokens.start(token, program, folder);
    tokens.close(token);
    if (error != ERROR_SUCCESS)
        return HelperStartFailure{true, error};
    return std::nullopt;
}

size_t askHelpersToQuit(HelperSessions& sessions, DWORD waitMs) {
    std::vector<HANDLE> events;
    std::vector<HANDLE> processes;
    for (const auto& helper : sessions.runningHelpers()) {
        if (HANDLE event = sessions.openQuitEvent(helper.session)) {
            sessions.setEvent(event);
            events.push_back(event);
        }
        // Only to wait for its end.
        if (HANDLE process = sessions.openProcess(helper.process, SYNCHRONIZE))
            processes.push_back(process);
    }
    const DWORD deadline = GetTickCount() + waitMs;
    size_t staying = 0;
    for (HANDLE process : processes) {
        const DWORD now = GetTickCount();
        const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        if (!sessions.waitForExit(process, left))
            ++staying;
        sessions.close(process);
    }
    for (HANDLE event : events) {
        sessions.resetEvent(event);
        sessions.close(event);
    }
    return staying;
}

} // namespace obx::setup
