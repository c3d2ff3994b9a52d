#pragma once

// Who may open a trackball's control device. The file's mode and owner keep others from connecting,
// and each connection's peer is checked again when it is accepted, so that nobody slips in while a
// file's owner is being changed.

#include <filesystem>
#include <sys/socket.h>
#include <sys/types.h>

namespace obx::kernd {

class SocketAccess {
public:
    virtual ~SocketAccess() = default;
    // The mode the socket file is created with.
    virtual mode_t socketMode() const = 0;
    // Gives the file its owner now.
    virtual void applyTo(const std::filesystem::path& file) const = 0;
    // The file gets its owner again whenever the allowed user changes, until `forget`.
    virtual void follow(const std::filesystem::path& file) = 0;
    virtual void forget(const std::filesystem::path& file) = 0;
    virtual bool admits(uid_t peer) const = 0;
};

// Whether the user at the other end of an accepted connection may use it; that user in `peer`.
inline bool admitsPeer(const SocketAccess& access, int connection, uid_t& peer) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    const bool known = ::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0;
    peer = credentials.uid;
    return known && access.admits(peer);
}

// While it lives, the file gets its owner again whenever the allowed user changes.
class FollowedFile {
public:
    FollowedFile(SocketAccess& access, std::filesystem::path file) : access_(access), file_(std::move(file)) {
        access_.follow(file_);
    }
    ~FollowedFile() { access_.forget(file_); }
    FollowedFile(const FollowedFile&) = delete;
    FollowedFile& operator=(const FollowedFile&) = delete;

private:
    SocketAccess& access_;
    std::filesystem::path file_;
};

// Everyone: the virtual trackball in its own runtime folder, whose folder decides who reaches it.
class OpenAccess final : public SocketAccess {
public:
    mode_t socketMode() const override { return 0666; }
    void applyTo(const std::filesystem::path&) const override {}
    void follow(const std::filesystem::path&) override {}
    void forget(const std::filesystem::path&) override {}
    bool admits(uid_t) const override { return true; }
};

inline SocketAccess& openAccess() {
    static OpenAccess access;
    return access;
}

} // namespace obx::kernd
