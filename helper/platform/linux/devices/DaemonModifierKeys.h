#pragma once

// The modifier keys held, as obxkernd's modifier socket tells them: for the
// desktops whose clients cannot read the keyboards' state (Wayland). One
// connection, made again when it fails, at most once a second; each question
// waits a tenth of a second at most, so that a daemon that hangs never holds
// the device worker. Without an answer, none are held.

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace obx {

class DaemonModifierKeys {
public:
    explicit DaemonModifierKeys(std::filesystem::path runtimeFolder);
    ~DaemonModifierKeys();
    DaemonModifierKeys(const DaemonModifierKeys&) = delete;
    DaemonModifierKeys& operator=(const DaemonModifierKeys&) = delete;

    // Shift, Ctrl and Alt as the desktop queries report them.
    std::uint32_t held();

private:
    bool connect();
    void disconnect();

    std::filesystem::path socket_;
    int fd_ = -1;
    std::chrono::steady_clock::time_point nextAttempt_{};
};

} // namespace obx
