#pragma once

// The installer's dealings with the helpers, apart from the Windows calls they make: which token
// the helper is started with, and how the running helpers of every session are asked to quit. The
// calls go through UserTokens and HelperSessions, whose Windows implementations are in
// WindowsHelperControl.h; under test they are a double that offers tokens and sessions that Wine
// does not have (split tokens, other sessions).

#include <windows.h>
// windows.h first: the types below are its.
#include <optional>
#include <string>
#include <vector>

namespace obx::setup {

// Token handles are the implementation's; each one handed out is closed through close().
class UserTokens {
public:
    virtual ~UserTokens() = default;
    // The token of the desktop's shell (its user, normally unelevated); null without a shell.
    virtual HANDLE shellToken() = 0;
    // The token that the action runs with: the installing user's. Null when it cannot be opened.
    virtual HANDLE ownToken() = 0;
    virtual TOKEN_ELEVATION_TYPE elevationType(HANDLE token) = 0;
    // The other half of a split token; null when there is none.
    virtual HANDLE linkedToken(HANDLE token) = 0;
    // Starts program in folder as the token's user, with that user's environment built afresh.
    // ERROR_SUCCESS, or why not.
    virtual DWORD start(HANDLE token, const std::wstring& program, const std::wstring& folder) = 0;
    virtual void close(HANDLE token) = 0;
};

struct RunningHelper {
    DWORD process;
    DWORD session;
};

// Handles are the implementation's; each one handed out is closed through close().
class HelperSessions {
public:
    virtual ~HelperSessions() = default;
    virtual std::vector<RunningHelper> runningHelpers() = 0;
    // The session's quit event (which that session's helper makes), for setting; null without one.
    virtual HANDLE openQuitEvent(DWORD session) = 0;
    virtual void setEvent(HANDLE event) = 0;
    virtual void resetEvent(HANDLE event) = 0;
    // The process with the given access rights; null when it has ended or cannot be opened.
    virtual HANDLE openProcess(DWORD process, DWORD access) = 0;
    // True when the process has ended within the time.
    virtual bool waitForExit(HANDLE process, DWORD milliseconds) = 0;
    virtual void close(HANDLE handle) = 0;
};

struct HelperStartFailure {
    bool userFound;
    DWORD error;
};

// Starts program for the user of the desktop (the shell's token), else for the installing user,
// never with an elevated token: of one, its linked unelevated token, and without that no start.
// Nothing when started; else the error of the start, or of the search for a token when none fits.
std::optional<HelperStartFailure> startHelperUnelevated(UserTokens& tokens, const std::wstring& program,
                                                        const std::wstring& folder);

// Sets the quit event of every running helper's session, waits up to the time for them to end, and
// resets the events (a helper started later must not find the request set). Nothing is ended by
// force. Answers how many helpers are still running.
size_t askHelpersToQuit(HelperSessions& sessions, DWORD waitMs);

} // namespace obx::setup
