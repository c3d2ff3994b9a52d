#pragma once

// The control sockets of real trackballs: root, and the user of the active session on the seat, as
// logind tells it (the rule by which uaccess gives device nodes to that user). The files are owned by
// that user with mode 0600 (by root when nobody is active) and change hands when the seat's active
// session changes.

#include "../EventLoop.h"
#include "../SocketAccess.h"

#include <filesystem>
#include <vector>

struct sd_login_monitor;

namespace obx::kernd {

class SeatAccess final : public SocketAccess, private IEventHandler {
public:
    static constexpr const char* kSeat = "seat0";

    // Without logind only root gets in, which is said once.
    explicit SeatAccess(EventLoop& loop);
    ~SeatAccess() override;
    SeatAccess(const SeatAccess&) = delete;
    SeatAccess& operator=(const SeatAccess&) = delete;

    mode_t socketMode() const override { return 0600; }
    void applyTo(const std::filesystem::path& file) const override;
    void follow(const std::filesystem::path& file) override;
    void forget(const std::filesystem::path& file) override;
    bool admits(uid_t peer) const override { return peer == 0 || peer == activeUser_; }

private:
    void onEvents(uint32_t events) override;
    // The active session's user, root when there is none.
    static uid_t seatUser();

    EventLoop& loop_;
    sd_login_monitor* monitor_ = nullptr;
    int monitorFd_ = -1;
    uid_t activeUser_ = 0;
    std::vector<std::filesystem::path> files_;
};

} // namespace obx::kernd
