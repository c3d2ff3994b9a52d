#pragma once

// A client of sway's IPC socket: one connection per request, so a restarted
// compositor's new socket is used as soon as it is known. Replies are bounded
// in size and time.

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <sys/types.h>

namespace obx::wayland {

enum class SwayMessage : std::uint32_t { runCommand = 0, getTree = 4, getInputs = 100 };

class SwayIpc {
public:
    explicit SwayIpc(std::filesystem::path socket) : socket_(std::move(socket)) {}

    // The parsed reply. Throws std::runtime_error when the socket cannot be
    // reached, the reply is late, too large or not JSON.
    nlohmann::json request(SwayMessage type, const std::string& payload = {}) const;
    // Runs commands; throws as above, and when sway reports a command failed.
    void run(const std::string& commands) const;

    const std::filesystem::path& socket() const { return socket_; }

    static constexpr std::size_t maxReply = 16 * 1024 * 1024;
    static constexpr std::chrono::milliseconds timeout{2000};

private:
    std::filesystem::path socket_;
};

// The IPC socket that the sway process compositorPid serves: sway names it
// sway-ipc.<uid>.<pid>.sock in its runtime folder (looked for in the folder
// of $SWAYSOCK, then in $XDG_RUNTIME_DIR), or takes the name $SWAYSOCK gave
// it at its start. $SWAYSOCK itself when the pid is 0. Empty when none is
// found.
std::filesystem::path swaySocketOf(pid_t compositorPid, const std::string& swaySock,
                                   const std::string& runtimeDir);

// The pid and app id of the focused window in a get_tree reply; pid 0 when
// no window is focused.
struct SwayFocus {
    pid_t pid = 0;
    std::string appId;
};
SwayFocus focusedWindow(const nlohmann::json& tree);

} // namespace obx::wayland

namespace obx::wayland {

class ForeignToplevels;

// The IPC of the compositor whose windows the toplevels follow, when that
// compositor is sway; found again after it restarted. Not shared between
// threads: each user keeps its own.
class SwaySession {
public:
    SwaySession(const ForeignToplevels& toplevels, std::string swaySock, std::string runtimeDir)
        : toplevels_(toplevels), swaySock_(std::move(swaySock)), runtimeDir_(std::move(runtimeDir)) {}
    // From $SWAYSOCK and $XDG_RUNTIME_DIR.
    explicit SwaySession(const ForeignToplevels& toplevels);

    // Null when the compositor is not sway (or none is connected).
    const SwayIpc* ipc();

private:
    const ForeignToplevels& toplevels_;
    std::string swaySock_;
    std::string runtimeDir_;
    pid_t knownPid_ = 0;
    std::optional<SwayIpc> ipc_;
};

} // namespace obx::wayland
