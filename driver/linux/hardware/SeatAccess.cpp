#include "SeatAccess.h"

#include "../Log.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <sys/epoll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace obx::kernd {

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kSeatPath = "/org/freedesktop/login1/seat/seat0";
// Each question to logind waits this long at most: the daemon's loop, and so the trackballs, wait.
constexpr uint64_t kCallTimeoutUs = 1'000'000;

static_assert(std::string_view(SeatAccess::kSeat) == "seat0", "kSeatPath names the seat");

const char* errorText(const sd_bus_error& error, int result) {
    return error.message != nullptr ? error.message : std::strerror(-result);
}

} // namespace

SeatAccess::SeatAccess(EventLoop& loop) : loop_(loop) {
    int result = sd_bus_open_system(&bus_);
    if (result >= 0) {
        sd_bus_set_method_call_timeout(bus_, kCallTimeoutUs);
        // Only logind's own signals: the bus drops those of anyone else for this match.
        result = sd_bus_match_signal(bus_, &changes_, kLogind, kSeatPath, "org.freedesktop.DBus.Properties",
                                     "PropertiesChanged", &SeatAccess::onSeatChanged, this);
    }
    // A logind that starts (or starts again) after the daemon is asked at once.
    if (result >= 0)
        result =
            sd_bus_add_match(bus_, &restarts_,
                             "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                             "member='NameOwnerChanged',arg0='org.freedesktop.login1'",
                             &SeatAccess::onSeatChanged, this);
    if (result < 0) {
        logf(LogLevel::warning, "logind cannot be followed (%s): the control sockets are root's only",
             std::strerror(-result));
        closeBus();
        return;
    }
    loop_.add(sd_bus_get_fd(bus_), EPOLLIN, *this);
    activeUser_ = seatUser();
    logf(LogLevel::info, "control sockets: root and user %u (the active session of %s)", activeUser_, kSeat);
}

SeatAccess::~SeatAccess() {
    closeBus();
}

void SeatAccess::closeBus() {
    if (bus_ == nullptr)
        return;
    loop_.remove(sd_bus_get_fd(bus_));
    changes_ = sd_bus_slot_unref(changes_);
    restarts_ = sd_bus_slot_unref(restarts_);
    bus_ = sd_bus_flush_close_unref(bus_);
}

uid_t SeatAccess::seatUser() const {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const char* session = nullptr;
    const char* sessionPath = nullptr;
    uint32_t user = 0;
    int result = sd_bus_get_property(bus_, kLogind, kSeatPath, "org.freedesktop.login1.Seat", "ActiveSession",
                                     &error, &reply, "(so)");
    if (result >= 0)
        result = sd_bus_message_read(reply, "(so)", &session, &sessionPath);
    // "/" when nobody is active.
    if (result >= 0 && std::strcmp(sessionPath, "/") != 0) {
        sd_bus_message* userReply = nullptr;
        result = sd_bus_get_property(bus_, kLogind, sessionPath, "org.freedesktop.login1.Session", "User",
                                     &error, &userReply, "(uo)");
        if (result >= 0)
            result = sd_bus_message_read(userReply, "(uo)", &user, nullptr);
        sd_bus_message_unref(userReply);
    }
    sd_bus_message_unref(reply);
    if (result < 0) {
        logf(LogLevel::warning, "logind does not tell the active session of %s (%s): only root is admitted",
             kSeat, errorText(error, result));
        user = 0;
    }
    sd_bus_error_free(&error);
    return user;
}

void SeatAccess::applyTo(const std::filesystem::path& file) const {
    if (::chown(file.c_str(), activeUser_, static_cast<gid_t>(-1)) != 0)
        logf(LogLevel::warning, "%s: cannot give it to user %u: %s", file.c_str(), activeUser_,
             std::strerror(errno));
}

void SeatAccess::follow(IAdmissionFollower& follower) {
    followers_.push_back(&follower);
}

void SeatAccess::forget(IAdmissionFollower& follower) {
    std::erase(followers_, &follower);
}

void SeatAccess::onEvents(uint32_t) {
    int result;
    do {
        result = sd_bus_process(bus_, nullptr);
    } while (result > 0);
    if (result < 0) {
        logf(LogLevel::warning, "the system bus is gone (%s): the control sockets are root's only",
             std::strerror(-result));
        closeBus();
        admit(0);
    }
}

int SeatAccess::onSeatChanged(sd_bus_message*, void* self, sd_bus_error*) {
    auto& access = *static_cast<SeatAccess*>(self);
    access.admit(access.seatUser());
    return 0;
}

void SeatAccess::admit(uid_t user) {
    if (user == activeUser_)
        return;
    activeUser_ = user;
    logf(LogLevel::info, "the active session of %s is user %u's now", kSeat, user);
    for (IAdmissionFollower* follower : followers_)
        follower->admissionChanged();
}

} // namespace obx::kernd
