#pragma once

// The notification area of current Linux panels: each shown icon is a
// StatusNotifierItem on the session bus, registered with the panel's
// org.kde.StatusNotifierWatcher, with a com.canonical.dbusmenu menu of one
// entry. The watcher appearing again (a restarted panel) is the Linux form
// of "TaskbarCreated": every visible icon registers again. Without a session
// bus or a watcher an icon is reported as not shown.

#include "platform/linux/shell/PollLoop.h"
#include "shared/TrayIconDisplay.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <systemd/sd-bus.h>
#include <vector>

namespace obx::linuxos {

class StatusNotifierDisplay : public ITrayIconDisplay, public PollSource {
public:
    // Theme icon shown for an icon without an image of its own.
    static constexpr const char* defaultIconName = "input-mouse";

    StatusNotifierDisplay();
    ~StatusNotifierDisplay() override;
    StatusNotifierDisplay(const StatusNotifierDisplay&) = delete;
    StatusNotifierDisplay& operator=(const StatusNotifierDisplay&) = delete;

    // An icon's image here is the name of a theme icon (a const char*).
    bool add(const CTrayIcon& icon) override;
    bool remove(const CTrayIcon& icon) override;
    void updateTooltip(const CTrayIcon& icon) override;
    void updateImage(const CTrayIcon& icon) override;
    void destroyImage(TrayIconHandle) override {}

    // The panel draws the menu itself; its entry reaches the icon as a right
    // click after which this answers true once.
    bool takeMenuChoice();

    void addDescriptors(std::vector<pollfd>& fds) override;
    int timeoutMs() override;
    void handle(std::span<const pollfd> fds) override;

private:
    class Item;

    bool watcherPresent();
    // Notices are handed to the icons after the bus work of a round, so that
    // an icon's handler may add or remove icons.
    void queue(std::uint32_t iconId, std::uint32_t notification, bool menuChoice);
    static int onWatcherOwnerChanged(sd_bus_message* message, void* self, sd_bus_error* error);

    sd_bus* bus_ = nullptr;
    sd_bus_slot* watcherSlot_ = nullptr;
    std::map<std::uint32_t, std::unique_ptr<Item>> items_;
    struct Notice {
        std::uint32_t iconId;
        std::uint32_t notification;
        bool menuChoice;
    };
    std::vector<Notice> notices_;
    bool watcherRestarted_ = false;
    bool menuChoice_ = false;
};

} // namespace obx::linuxos
