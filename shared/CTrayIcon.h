#pragma once

// A notification-area icon. Every icon of the process has an id of its own
// and sits in one registry while it exists, so that the notices the system
// sends for an id reach the icon, and so that visible icons can be added
// again when the notification area restarts.

#include "shared/ITrayIconListener.h"
#include "shared/TrayIconDisplay.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace obx {

class CTrayIcon {
public:
    using Callback = std::intptr_t (*)(CTrayIcon& icon, std::uint32_t message);

    // The message the system sends for an icon: first parameter the icon id,
    // second the notification.
    static constexpr std::uint32_t callbackMessage = 0x464;

    CTrayIcon(ITrayIconDisplay& display, std::u16string tooltip, TrayIconHandle image);
    virtual ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    virtual void setTooltip(std::u16string text);
    // True when the icon is now as asked; false when the system refused.
    virtual bool setVisible(bool show);
    virtual void setIcon(TrayIconHandle image, bool destroyPrevious);
    virtual std::intptr_t onMessage(std::uint32_t message);

    std::uint32_t id() const { return id_; }
    const std::u16string& tooltip() const { return tooltip_; }
    bool visible() const { return visible_; }
    TrayIconHandle image() const { return image_; }

    void setListener(ITrayIconListener* listener) { listener_ = listener; }
    void setCallback(Callback callback) { callback_ = callback; }
    void setOwnsIcon(bool owns) { ownsIcon_ = owns; }

    // The icon registered under id, or null.
    static CTrayIcon* find(std::uint32_t id);
    static std::size_t registeredCount();
    // A callbackMessage from the system: the notification goes to the icon
    // of that id; unknown ids are ignored.
    static void dispatch(std::uint32_t id, std::uint32_t notification);
    // The notification area restarted and forgot every icon.
    static void addVisibleIconsAgain();

private:
    ITrayIconDisplay& display_;
    std::uint32_t id_;
    std::u16string tooltip_;
    bool visible_ = false;
    TrayIconHandle image_;
    bool ownsIcon_ = false;
    Callback callback_ = nullptr;
    ITrayIconListener* listener_ = nullptr;
};

} // namespace obx
