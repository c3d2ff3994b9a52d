#pragma once

// The compositor's toplevel windows through wlroots' foreign-toplevel
// protocol, on a Wayland connection of their own that a thread serves. When
// the compositor goes away (a restart), the thread connects again to the same
// display as soon as it is back, so the windows are followed again without a
// restart of the helper.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace obx::wayland {

struct ToplevelWindow {
    // Unique for the life of the tracker, across reconnections; never 0.
    std::uint64_t id = 0;
    std::string appId;
    std::string title;
    bool activated = false;
    bool maximized = false;
    bool minimized = false;
    bool fullscreen = false;
};

enum class ToplevelRequest { maximize, restore, minimize, close, fullscreen, leaveFullscreen };

class ForeignToplevels {
public:
    // displayName: as WAYLAND_DISPLAY (a name in $XDG_RUNTIME_DIR or an
    // absolute path); empty: $WAYLAND_DISPLAY.
    explicit ForeignToplevels(std::string displayName = {});
    ~ForeignToplevels();
    ForeignToplevels(const ForeignToplevels&) = delete;
    ForeignToplevels& operator=(const ForeignToplevels&) = delete;

    // As given; the helper's other connections go to the same compositor.
    const std::string& displayName() const { return displayName_; }
    // Whether the compositor is connected and offers the protocol now.
    bool connected() const;
    // The process of the compositor on the current connection; 0 when none.
    pid_t compositorPid() const;
    // The window that has the keyboard focus, as the compositor last said.
    std::optional<ToplevelWindow> focused() const;
    std::vector<ToplevelWindow> windows() const;
    // Asks the compositor to do the request on the window; false when the
    // window is gone or too many requests wait already.
    bool request(std::uint64_t window, ToplevelRequest what);
    // Waits until the condition holds for the windows, at most timeout
    // (start-up and tests).
    bool waitFor(const std::function<bool(const std::vector<ToplevelWindow>&)>& condition,
                 std::chrono::milliseconds timeout) const;

    static constexpr std::size_t maxWindows = 4096;
    static constexpr std::size_t maxPendingRequests = 64;

    class Session;

private:
    void run();
    void wake() const;

    std::string displayName_;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool connected_ = false;
    pid_t compositorPid_ = 0;
    std::vector<ToplevelWindow> windows_;
    std::deque<std::pair<std::uint64_t, ToplevelRequest>> pending_;
    std::uint64_t nextId_ = 1;

    std::thread thread_;
};

} // namespace obx::wayland
