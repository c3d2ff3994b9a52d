#pragma once

// The service's seams as Windows provides them: the record in the registry,
// the installer's product check, the start of the popup in the signed-in
// user's session, and the page opened by the system's file explorer.

#include "service/NotifySequence.h"
#include "service/ProductPage.h"

#include <string>
#include <windows.h>

namespace obx::win {

// HKEY_LOCAL_MACHINE\SOFTWARE\Halvex\Quellane2, value DownloadNotified
// (REG_QWORD): the time of the notification in seconds since 1970.
class RegistryRecord : public NotificationRecord {
public:
    static constexpr const wchar_t* keyPath = L"SOFTWARE\\Halvex\\Quellane2";
    static constexpr const wchar_t* valueName = L"DownloadNotified";

    bool notified() override;
    int write(std::int64_t secondsSinceEpoch) override;
};

// The Windows Installer knows a product of the utility's upgrade code.
class InstallerProductCheck : public ProductCheck {
public:
    bool installed() override;
};

// This program with "-showpopup", as the user signed in at the console.
class UserSessionPopupStarter : public PopupStarter {
public:
    explicit UserSessionPopupStarter(ServiceLog& log) : log_(log) {}
    bool start() override;

private:
    ServiceLog& log_;
};

// The system's file explorer given the address, in the caller's session.
class ExplorerPageOpener : public PageOpener {
public:
    int open(const char* address) override;
};

// Full path of this program; empty when the system cannot tell.
std::wstring programPath();

} // namespace obx::win
