#include "platform/linux/session/LogindWatch.h"

#include "base/Log.h"
#include "platform/linux/shell/SdBusLoop.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace obx::linuxos {

namespace {

constexpr const char* logind = "org.freedesktop.login1";
constexpr const char* managerPath = "/org/freedesktop/login1";
constexpr const char* managerInterface = "org.freedesktop.login1.Manager";
constexpr const char* sessionInterface = "org.freedesktop.login1.Session";

// The object path that a call answered, or false with the failure logged.
bool pathFromReply(int result, sd_bus_message* reply, const sd_bus_error& error, const char* method,
                   std::string& path) {
    const char* object = nullptr;
    if (result >= 0) {
        result = sd_bus_message_read(reply, "o", &object);
    }
    if (result < 0) {
        log(LogLevel::warning, "LogindWatch - ", method, " failed: ", busErrorText(error, result));
        return false;
    }
    path = object;
    return true;
}

} // namespace

LogindWatch::LogindWatch(ISessionEventSink& sink) : sink_(sink) {
    int result = sd_bus_open_system(&bus_);
    if (result < 0) {
        bus_ = nullptr;
        log(LogLevel::warning, "LogindWatch - no system bus (", std::strerror(-result),
            "): session and power changes are not followed");
        return;
    }
    result = sd_bus_match_signal(bus_, &sleepSlot_, logind, managerPath, managerInterface, "PrepareForSleep",
                                 &LogindWatch::onPrepareForSleep, this);
    if (result < 0) {
        log(LogLevel::warning, "LogindWatch - cannot follow PrepareForSleep: ", std::strerror(-result));
    } else {
        takeSleepLock();
    }
    if (!findSession()) {
        return;
    }
    result = sd_bus_match_signal(bus_, &sessionSlot_, logind, sessionPath_.c_str(),
                                 "org.freedesktop.DBus.Properties", "PropertiesChanged",
                                 &LogindWatch::onSessionProperties, this);
    if (result < 0) {
        log(LogLevel::warning, "LogindWatch - cannot follow the session: ", std::strerror(-result));
    }
    // The value from before the match was in place: a change in between is
    // seen at the first notice.
    readActive(active_);
}

LogindWatch::~LogindWatch() {
    releaseSleepLock();
    sd_bus_slot_unref(sessionSlot_);
    sd_bus_slot_unref(sleepSlot_);
    sd_bus_flush_close_unref(bus_);
}

bool LogindWatch::findSession() {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const char* id = std::getenv("XDG_SESSION_ID");
    const char* method = id && *id ? "GetSession" : "GetSessionByPID";
    const int result =
        id && *id
            ? sd_bus_call_method(bus_, logind, managerPath, managerInterface, method, &error, &reply, "s", id)
            : sd_bus_call_method(bus_, logind, managerPath, managerInterface, method, &error, &reply, "u",
                                 static_cast<std::uint32_t>(::getpid()));
    const bool found = pathFromReply(result, reply, error, method, sessionPath_);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (!found) {
        logText(LogLevel::warning, "LogindWatch - no login session: console changes are not followed");
    }
    return found;
}

bool LogindWatch::readActive(bool& active) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int value = 0;
    const int result = sd_bus_get_property_trivial(bus_, logind, sessionPath_.c_str(), sessionInterface,
                                                   "Active", &error, 'b', &value);
    if (result < 0) {
        log(LogLevel::warning,
            "LogindWatch - cannot read the session's Active: ", busErrorText(error, result));
    } else {
        active = value != 0;
    }
    sd_bus_error_free(&error);
    return result >= 0;
}

void LogindWatch::activeChanged(bool active) {
    if (active == active_) {
        return;
    }
    active_ = active;
    sink_.onSessionChange(active ? sessionEvent::consoleConnect : sessionEvent::consoleDisconnect);
}

void LogindWatch::takeSleepLock() {
    if (sleepLock_ >= 0) {
        return;
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int result = sd_bus_call_method(bus_, logind, managerPath, managerInterface, "Inhibit", &error, &reply,
                                    "ssss", "sleep", "obxhelper",
                                    "Releasing the trackballs before the system sleeps", "delay");
    int lock = -1;
    if (result >= 0) {
        result = sd_bus_message_read(reply, "h", &lock);
    }
    if (result >= 0) {
        // The reply owns its descriptor.
        sleepLock_ = ::fcntl(lock, F_DUPFD_CLOEXEC, 3);
        result = sleepLock_ >= 0 ? 0 : -errno;
    }
    if (result < 0) {
        log(LogLevel::warning,
            "LogindWatch - no sleep delay lock, the system may sleep before the trackballs "
            "are released: ",
            busErrorText(error, result));
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
}

void LogindWatch::releaseSleepLock() {
    if (sleepLock_ >= 0) {
        ::close(sleepLock_);
        sleepLock_ = -1;
    }
}

int LogindWatch::onPrepareForSleep(sd_bus_message* message, void* self, sd_bus_error*) {
    auto& watch = *static_cast<LogindWatch*>(self);
    int sleeping = 0;
    if (sd_bus_message_read(message, "b", &sleeping) < 0) {
        return 0;
    }
    if (sleeping) {
        // The teardown runs to its end in the call; only then may the
        // system go on to sleep.
        watch.sink_.onPowerBroadcast(powerEvent::suspend);
        watch.releaseSleepLock();
    } else {
        watch.takeSleepLock();
        watch.sink_.onPowerBroadcast(powerEvent::resumeAutomatic);
    }
    return 0;
}

int LogindWatch::onSessionProperties(sd_bus_message* message, void* self, sd_bus_error*) {
    auto& watch = *static_cast<LogindWatch*>(self);
    const char* interface = nullptr;
    if (sd_bus_message_read(message, "s", &interface) < 0 || std::strcmp(interface, sessionInterface) != 0 ||
        sd_bus_message_enter_container(message, 'a', "{sv}") < 0) {
        return 0;
    }
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
        const char* name = nullptr;
        int active = 0;
        if (sd_bus_message_read(message, "s", &name) >= 0 && std::strcmp(name, "Active") == 0 &&
            sd_bus_message_read(message, "v", "b", &active) >= 0) {
            watch.activeChanged(active != 0);
        } else {
            sd_bus_message_skip(message, "v");
        }
        sd_bus_message_exit_container(message);
    }
    sd_bus_message_exit_container(message);
    // A property named without its value must be asked for.
    char** invalidated = nullptr;
    if (sd_bus_message_read_strv(message, &invalidated) >= 0 && invalidated) {
        bool activeInvalidated = false;
        for (char** name = invalidated; *name; ++name) {
            activeInvalidated = activeInvalidated || std::strcmp(*name, "Active") == 0;
            std::free(*name);
        }
        std::free(invalidated);
        bool active = watch.active_;
        if (activeInvalidated && watch.readActive(active)) {
            watch.activeChanged(active);
        }
    }
    return 0;
}

void LogindWatch::addDescriptors(std::vector<pollfd>& fds) {
    if (bus_) {
        fds.push_back(busDescriptor(bus_));
    }
}

int LogindWatch::timeoutMs() {
    return bus_ ? busTimeoutMs(bus_) : -1;
}

void LogindWatch::handle(std::span<const pollfd>) {
    if (bus_ && !processBus(bus_)) {
        log(LogLevel::warning, "LogindWatch - the system bus connection ended");
        releaseSleepLock();
        sessionSlot_ = sd_bus_slot_unref(sessionSlot_);
        sleepSlot_ = sd_bus_slot_unref(sleepSlot_);
        bus_ = sd_bus_flush_close_unref(bus_);
    }
}

} // namespace obx::linuxos
