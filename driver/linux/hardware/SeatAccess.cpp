#include "SeatAccess.h"

#include "../Log.h"

#include <algorithm>
#include <cstring>
#include <sys/epoll.h>
#include <systemd/sd-login.h>
#include <unistd.h>

namespace obx::kernd {

SeatAccess::SeatAccess(EventLoop& loop) : loop_(loop), activeUser_(seatUser()) {
    const int created = sd_login_monitor_new("session", &monitor_);
    if (created < 0) {
        logf(LogLevel::warning, "logind cannot be followed (%s): the control sockets are root's only",
             std::strerror(-created));
        monitor_ = nullptr;
        return;
    }
    monitorFd_ = sd_login_monitor_get_fd(monitor_);
    loop_.add(monitorFd_, EPOLLIN, *this);
    logf(LogLevel::info, "control sockets: root and user %u (the active session of %s)", activeUser_, kSeat);
}

SeatAccess::~SeatAccess() {
    if (monitor_ != nullptr) {
        loop_.remove(monitorFd_);
        sd_login_monitor_unref(monitor_);
    }
}

uid_t SeatAccess::seatUser() {
    uid_t user = 0;
    if (sd_seat_get_active(kSeat, nullptr, &user) < 0)
        return 0;
    return user;
}

void SeatAccess::applyTo(const std::filesystem::path& file) const {
    if (::chown(file.c_str(), activeUser_, static_cast<gid_t>(-1)) != 0)
        logf(LogLevel::warning, "%s: cannot give it to user %u: %s", file.c_str(), activeUser_,
             std::strerror(errno));
}

void SeatAccess::follow(const std::filesystem::path& file) {
    files_.push_back(file);
}

void SeatAccess::forget(const std::filesystem::path& file) {
    std::erase(files_, file);
}

void SeatAccess::onEvents(uint32_t) {
    sd_login_monitor_flush(monitor_);
    const uid_t user = seatUser();
    if (user == activeUser_)
        return;
    activeUser_ = user;
    logf(LogLevel::info, "the active session of %s is user %u's now", kSeat, user);
    for (const auto& file : files_)
        applyTo(file);
}

} // namespace obx::kernd
