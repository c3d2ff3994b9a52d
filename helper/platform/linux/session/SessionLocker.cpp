#include "platform/linux/session/SessionLocker.h"

#include "base/Log.h"
#include "platform/linux/actions/Programs.h"

#include <cstdlib>
#include <systemd/sd-bus.h>

namespace obx::x11 {

SessionLocker::SessionLocker(std::vector<std::vector<std::string>> fallbacks)
    : fallbacks_(std::move(fallbacks)) {}

SessionLocker::SessionLocker() : SessionLocker({{"loginctl", "lock-session"}, {"xdg-screensaver", "lock"}}) {}

bool SessionLocker::lock() const {
    if (lockThroughLogind()) {
        return true;
    }
    for (const auto& command : fallbacks_) {
        if (runProgram(command) == 0) {
            return true;
        }
    }
    log(LogLevel::error, "SessionLocker::lock - the session could not be locked");
    return false;
}

bool SessionLocker::lockThroughLogind() const {
    sd_bus* bus = nullptr;
    int result = sd_bus_open_system(&bus);
    if (result >= 0) {
        // logind resolves "auto" to the caller's session, or the user's
        // graphical one when the helper runs outside any session.
        const char* session = std::getenv("XDG_SESSION_ID");
        sd_bus_error error = SD_BUS_ERROR_NULL;
        result = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                    "org.freedesktop.login1.Manager", "LockSession", &error, nullptr, "s",
                                    session && *session ? session : "auto");
        if (result < 0) {
            log(LogLevel::warning,
                "SessionLocker::lock - LockSession failed: ", error.message ? error.message : "no answer");
        }
        sd_bus_error_free(&error);
    } else {
        log(LogLevel::warning, "SessionLocker::lock - no system bus");
    }
    sd_bus_flush_close_unref(bus);
    return result >= 0;
}

} // namespace obx::x11
