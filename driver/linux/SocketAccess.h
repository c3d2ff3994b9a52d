#pragma once

// Who may open a trackball's control device. The file's mode and owner keep others from connecting;
// each connection's peer is checked when it is accepted, so that nobody slips in while a file's owner is
// being changed, and again whenever the admitted users change, so that a user who left the seat keeps no
// connection.

#include <filesystem>
#include <sys/types.h>

namespace obx::kernd {

// Told when the users whom an access admits have changed.
class IAdmissionFollower {
public:
    virtual ~IAdmissionFollower() = default;
    virtual void admissionChanged() = 0;
};

class SocketAccess {
public:
    virtual ~SocketAccess() = default;
    // The mode the socket file is created with.
    virtual mode_t socketMode() const = 0;
    // Gives the file its owner now.
    virtual void applyTo(const std::filesystem::path& file) const = 0;
    // `follower` is told of every change of the admitted users, until `forget`.
    virtual void follow(IAdmissionFollower& follower) = 0;
    virtual void forget(IAdmissionFollower& follower) = 0;
    virtual bool admits(uid_t peer) const = 0;
};

// Everyone: the virtual trackball in its own runtime folder, whose folder decides who reaches it.
class OpenAccess final : public SocketAccess {
public:
    mode_t socketMode() const override { return 0666; }
    void applyTo(const std::filesystem::path&) const override {}
    void follow(IAdmissionFollower&) override {}
    void forget(IAdmissionFollower&) override {}
    bool admits(uid_t) const override { return true; }
};

inline SocketAccess& openAccess() {
    static OpenAccess access;
    return access;
}

} // namespace obx::kernd
