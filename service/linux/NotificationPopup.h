#pragma once

// The popup as a desktop notification (org.freedesktop.Notifications on the
// user's bus): the notification is both the icon and its balloon, and its
// default action is the click on the balloon.

#include "service/PopupController.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <systemd/sd-bus.h>

namespace obx::linuxos {

class NotificationPopup : public PopupHost {
public:
    // The user's bus; without one nothing is shown and the popup only waits
    // for its time.
    NotificationPopup();
    ~NotificationPopup() override;
    NotificationPopup(const NotificationPopup&) = delete;
    NotificationPopup& operator=(const NotificationPopup&) = delete;

    bool showIcon() override;
    void showBalloon(const PopupTexts& texts) override;
    void startTimer(std::chrono::milliseconds duration) override;
    void stopTimer() override;
    void postClose() override;

    // Runs until the close; the notification is withdrawn at the end.
    void run(PopupController& controller);

private:
    static int onActionInvoked(sd_bus_message* message, void* self, sd_bus_error* error);
    void waitForBus(std::chrono::steady_clock::duration timeout);

    sd_bus* bus_ = nullptr;
    sd_bus_slot* actionSlot_ = nullptr;
    PopupController* controller_ = nullptr;
    std::optional<std::uint32_t> notificationId_;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    bool closeRequested_ = false;
};

} // namespace obx::linuxos
