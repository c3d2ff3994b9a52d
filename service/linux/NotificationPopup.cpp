#include "service/linux/NotificationPopup.h"

#include "shared/ITrayIconListener.h"

#include <cstring>
#include <thread>

namespace obx::linuxos {

namespace {

constexpr const char* service = "org.freedesktop.Notifications";
constexpr const char* path = "/org/freedesktop/Notifications";
constexpr const char* interface = "org.freedesktop.Notifications";
constexpr const char* applicationName = "Quellane";
// The balloon's time on the screen; the popup itself lasts longer.
constexpr std::int32_t balloonTimeoutMs = 10'000;

} // namespace

NotificationPopup::NotificationPopup() {
    if (sd_bus_open_user(&bus_) < 0) {
        bus_ = nullptr;
    }
}

NotificationPopup::~NotificationPopup() {
    sd_bus_slot_unref(actionSlot_);
    sd_bus_flush_close_unref(bus_);
}

bool NotificationPopup::showIcon() {
    // Listening before the notification exists, so that no click is missed.
    return bus_ && sd_bus_match_signal(bus_, &actionSlot_, nullptr, path, interface, "ActionInvoked",
                                       &NotificationPopup::onActionInvoked, this) >= 0;
}

void NotificationPopup::showBalloon(const PopupTexts& texts) {
    const auto title = utf16ToUtf8(texts.title);
    const auto body = utf16ToUtf8(texts.message);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    std::uint32_t id = 0;
    if (sd_bus_call_method(bus_, service, path, interface, "Notify", &error, &reply, "susssasa{sv}i",
                           applicationName, 0u, "", title.c_str(), body.c_str(), 2, "default",
                           applicationName, 0, balloonTimeoutMs) >= 0 &&
        sd_bus_message_read(reply, "u", &id) >= 0) {
        notificationId_ = id;
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
}

void NotificationPopup::startTimer(std::chrono::milliseconds duration) {
    deadline_ = std::chrono::steady_clock::now() + duration;
}

void NotificationPopup::stopTimer() {
    deadline_.reset();
}

void NotificationPopup::postClose() {
    closeRequested_ = true;
}

int NotificationPopup::onActionInvoked(sd_bus_message* message, void* self, sd_bus_error*) {
    auto& popup = *static_cast<NotificationPopup*>(self);
    std::uint32_t id = 0;
    const char* action = nullptr;
    if (sd_bus_message_read(message, "us", &id, &action) >= 0 && popup.notificationId_ == id &&
        std::strcmp(action, "default") == 0 && popup.controller_) {
        popup.controller_->onIconEvent(trayMessage::balloonUserClick);
    }
    return 0;
}

void NotificationPopup::waitForBus(std::chrono::steady_clock::duration timeout) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
    if (!bus_) {
        std::this_thread::sleep_for(timeout);
        return;
    }
    // Every message already read is handled before waiting again.
    int processed;
    while ((processed = sd_bus_process(bus_, nullptr)) > 0 && !closeRequested_) {
    }
    if (processed < 0) {
        // The bus is gone: what remains is the wait for the time.
        sd_bus_flush_close_unref(bus_);
        bus_ = nullptr;
        return;
    }
    if (!closeRequested_) {
        sd_bus_wait(bus_, static_cast<std::uint64_t>(micros));
    }
}

void NotificationPopup::run(PopupController& controller) {
    controller_ = &controller;
    while (!closeRequested_) {
        if (!deadline_) {
            // Without a timer nothing would ever close the popup.
            break;
        }
        const auto left = *deadline_ - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            controller.onTimeUp();
            continue;
        }
        waitForBus(left);
    }
    controller_ = nullptr;
    if (bus_ && notificationId_) {
        sd_bus_call_method(bus_, service, path, interface, "CloseNotification", nullptr, nullptr, "u",
                           *notificationId_);
    }
}

} // namespace obx::linuxos
