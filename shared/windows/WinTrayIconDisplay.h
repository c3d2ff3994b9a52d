#pragma once

// The Windows notification area behind CTrayIcon: Shell_NotifyIconW calls on
// behalf of one hidden message-processor window, which receives every icon's
// notices and adds the visible icons again when the shell restarts.

#include "shared/CTrayIcon.h"

#include <string>
#include <windows.h>

namespace obx {

class WinTrayIconDisplay : public ITrayIconDisplay {
public:
    explicit WinTrayIconDisplay(HINSTANCE instance) : instance_(instance) {}

    bool add(const CTrayIcon& icon) override;
    bool remove(const CTrayIcon& icon) override;
    void updateTooltip(const CTrayIcon& icon) override;
    void updateImage(const CTrayIcon& icon) override;
    void destroyImage(TrayIconHandle image) override;

    // The balloon over a shown icon, with the information icon; texts longer
    // than the record's fields are cut.
    bool showBalloon(const CTrayIcon& icon, const std::u16string& title, const std::u16string& text,
                     UINT timeoutMs);

    // Created on first need and kept for the life of the process.
    HWND messageWindow();

private:
    HINSTANCE instance_;
};

} // namespace obx
