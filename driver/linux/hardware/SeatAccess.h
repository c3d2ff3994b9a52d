#pragma once

// The control sockets of real trackballs: root, and the user of the active session on the seat, as
// logind tells it on the system bus (the rule by which uaccess gives device nodes to that user). The
// files are owned by that user with mode 0600 (by root when nobody is active); when logind reports a
// change of the seat's active session, they change hands and the followers close what the user who
// left still holds.

#include "../EventLoop.h"
#include "../SocketAccess.h"

#include <filesystem>
#include <systemd/sd-bus.h>
#include <vector>

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
    void follow(IAdmissionFollower& follower) override;
    void forget(IAdmissionFollower& follower) override;
    bool admits(uid_t peer) const override { return peer == 0 || peer == activeUser_; }

private:
    void onEvents(uint32_t events) override;
    static int onSeatChanged(sd_bus_message* message, void* self, sd_bus_error* error);
    // The active session's user as logind says now; root when there is none or logind does not answer.
    uid_t seatUser() const;
    void admit(uid_t user);
    void closeBus();

    EventLoop& loop_;
    sd_bus* bus_ = nullptr;
    sd_bus_slot* changes_ = nullptr;
    sd_bus_slot* restarts_ = nullptr;
    uid_t activeUser_ = 0;
    std::vector<IAdmissionFollower*> followers_;
};

} // namespace obx::kernd
