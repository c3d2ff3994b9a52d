#pragma once

// The Windows notification area behind CTrayIcon: Shell_NotifyIconW with the
// first version of its record, and one process-wide message-processor window
// that receives the icons' notices and the shell's "TaskbarCreated"
// broadcast. Used by every program that shows an icon.

#include "shared/TrayIconDisplay.h"

namespace obx::windows {

class WindowsTrayIconDisplay final : public ITrayIconDisplay {
public:
    bool add(const CTrayIcon& icon) override;
    bool remove(const CTrayIcon& icon) override;
    void updateTooltip(const CTrayIcon& icon) override;
    void updateImage(const CTrayIcon& icon) override;
    void destroyImage(TrayIconHandle image) override;
};

} // namespace obx::windows
