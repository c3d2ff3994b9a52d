#include "platform/linux/wayland/BoundedRoundtrip.h"

#include <cerrno>
#include <poll.h>

namespace obx::wayland {

namespace {

void answered(void* data, wl_callback* callback, std::uint32_t) {
    *static_cast<bool*>(data) = true;
    wl_callback_destroy(callback);
}
constexpr wl_callback_listener syncListener{&answered};

} // namespace

bool dispatchUntil(wl_display* display, const std::function<bool()>& done,
                   std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) {
                return false;
            }
        }
        if (done()) {
            wl_display_cancel_read(display);
            break;
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            wl_display_cancel_read(display);
            return false;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) {
            return false;
        }
    }
    return true;
}

bool boundedRoundtrip(wl_display* display, std::chrono::milliseconds timeout) {
    bool done = false;
    // On a late answer the callback stays with the connection, which the
    // caller ends.
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &syncListener, &done);
    return dispatchUntil(
        display, [&] { return done; }, timeout);
}

} // namespace obx::wayland
