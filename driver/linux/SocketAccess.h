#pragma once

// Who may open a trackball's control device. The file's mode and owner keep others from connecting,
// and each connection's peer is checked again when it is accepted, so that nobody slips in while a
// file's owner is being changed.

#include <filesystem>
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
