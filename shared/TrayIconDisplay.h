#pragma once

// What a notification-area icon needs of the system's notification area.

#include <cstdint>

namespace obx {

class CTrayIcon;

// The system's icon image, opaque to the shared code; null stands for the
// system's default application icon.
using TrayIconHandle = const void*;

class ITrayIconDisplay {
public:
    virtual ~ITrayIconDisplay() = default;

    // True when the system took the icon (its id, tooltip and image).
    virtual bool add(const CTrayIcon& icon) = 0;
    virtual bool remove(const CTrayIcon& icon) = 0;
    virtual void updateTooltip(const CTrayIcon& icon) = 0;
    virtual void updateImage(const CTrayIcon& icon) = 0;
    virtual void destroyImage(TrayIconHandle image) = 0;
};

} // namespace obx
