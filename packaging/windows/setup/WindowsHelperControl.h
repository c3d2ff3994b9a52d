#pragma once

// The installer's UserTokens and HelperSessions on Windows.

#include "HelperControl.h"

namespace obx::setup {

class WindowsUserTokens final : public UserTokens {
public:
    HANDLE shellToken() override;
    HANDLE ownToken() override;
    TOKEN_ELEVATION_TYPE elevationType(HANDLE token) override;
    HANDLE linkedToken(HANDLE token) override;
    DWORD start(HANDLE token, const std::wstring& program, const std::wstring& folder) override;
    void close(HANDLE token) override;
};

class WindowsHelperSessions final : public HelperSessions {
public:
    std::vector<RunningHelper> runningHelpers() override;
    HANDLE openQuitEvent(DWORD session) override;
    void setEvent(HANDLE event) override;
    void resetEvent(HANDLE event) override;
    HANDLE openProcess(DWORD process, DWORD access) override;
    bool waitForExit(HANDLE process, DWORD milliseconds) override;
    void close(HANDLE handle) override;
};

} // namespace obx::setup
