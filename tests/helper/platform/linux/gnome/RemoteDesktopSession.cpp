#include "RemoteDesktopSession.h"

#include "base/Log.h"

#include <stdexcept>

namespace obx::test {

namespace {

constexpr const char* service = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* servicePath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char* sessionInterface = "org.gnome.Mutter.RemoteDesktop.Session";

} // namespace

RemoteDesktopSession::RemoteDesktopSession(std::chrono::milliseconds timeout) : timeout_(timeout) {}

RemoteDesktopSession::~RemoteDesktopSession() {
    close();
}

void RemoteDesktopSession::open() {
    if (!bus_) {
        if (sd_bus_open_user(&bus_) < 0) {
            bus_ = nullptr;
            throw std::runtime_error("no session bus to reach GNOME's remote desktop interface on");
        }
        sd_bus_set_method_call_timeout(bus_, static_cast<std::uint64_t>(timeout_.count()) * 1000u);
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int result = sd_bus_call_method(bus_, service, servicePath, service, "CreateSession", &error, &reply, "");
    const char* path = nullptr;
    if (result >= 0) {
        result = sd_bus_message_read(reply, "o", &path);
    }
    if (result >= 0) {
        session_ = path;
    }
    sd_bus_message_unref(reply);
    if (result >= 0) {
        result = sd_bus_call_method(bus_, service, session_.c_str(), sessionInterface, "Start", &error,
                                    nullptr, "");
    }
    const std::string why = error.message ? error.message : "no answer";
    sd_bus_error_free(&error);
    if (result < 0) {
        close();
        throw std::runtime_error("GNOME's remote desktop interface refused an input session: " + why);
    }
    log(LogLevel::debug, "RemoteDesktopSession - input session ", session_);
}

void RemoteDesktopSession::close() {
    if (bus_ && !session_.empty()) {
        // Mutter ends a session whose client leaves the bus, too.
        sd_bus_call_method(bus_, service, session_.c_str(), sessionInterface, "Stop", nullptr, nullptr, "");
    }
    session_.clear();
    bus_ = sd_bus_flush_close_unref(bus_);
}

template <typename... Values>
bool RemoteDesktopSession::tryNotify(const char* method, const char* signature, Values... values) {
    if (session_.empty()) {
        open();
    }
    const int result = sd_bus_call_method(bus_, service, session_.c_str(), sessionInterface, method, nullptr,
                                          nullptr, signature, values...);
    if (result < 0) {
        close();
        return false;
    }
    return true;
}

template <typename... Values>
void RemoteDesktopSession::notify(const char* method, const char* signature, Values... values) {
    const std::lock_guard lock(mutex_);
    // A session that is gone (the Shell restarted) fails once; a new one is
    // made for the same input.
    if (!tryNotify(method, signature, values...) && !tryNotify(method, signature, values...)) {
        throw std::runtime_error("GNOME's remote desktop session did not take the input");
    }
}

void RemoteDesktopSession::keysym(std::uint32_t keysym, bool down) {
    notify("NotifyKeyboardKeysym", "ub", keysym, static_cast<int>(down));
}

void RemoteDesktopSession::button(std::uint32_t code, bool down) {
    notify("NotifyPointerButton", "ib", static_cast<std::int32_t>(code), static_cast<int>(down));
}

void RemoteDesktopSession::pointerMotion(double dx, double dy) {
    notify("NotifyPointerMotionRelative", "dd", dx, dy);
}

} // namespace obx::test
