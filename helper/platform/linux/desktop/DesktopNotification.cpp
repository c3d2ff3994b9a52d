#include "platform/linux/desktop/DesktopNotification.h"

#include "base/Log.h"
#include "platform/linux/shell/SdBusLoop.h"

#include <systemd/sd-bus.h>

namespace obx::linuxos {

namespace {

constexpr std::uint64_t timeoutUs = 1'000'000;
constexpr std::int32_t serverChoosesDuration = -1;

} // namespace

bool showDesktopNotification(const std::string& summary, const std::string& body) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        return false;
    }
    sd_bus_set_method_call_timeout(bus, timeoutUs);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
    const int result = sd_bus_call_method(
        bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.Notifications", "Notify", &error, nullptr, "susssasa{sv}i", "obxhelper", 0u,
        "input-mouse", summary.c_str(), body.c_str(), 0, 0, serverChoosesDuration);
    if (result < 0) {
        log(LogLevel::warning, "The desktop did not show a notification: ", busErrorText(error, result));
    }
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return result >= 0;
}

} // namespace obx::linuxos
