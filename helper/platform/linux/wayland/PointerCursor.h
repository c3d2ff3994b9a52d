#pragma once

// The pointer's picture over a client's surfaces: a compositor leaves it to
// the client the pointer is over. The cursor theme's arrow, at the size the
// session names (XCURSOR_THEME, XCURSOR_SIZE); nothing when no theme has one.

#include <cstdint>
#include <wayland-client.h>

struct wl_cursor_theme;

namespace obx::wayland {

class PointerCursor {
public:
    PointerCursor(wl_compositor* compositor, wl_shm* shm) : compositor_(compositor), shm_(shm) {}
    ~PointerCursor();
    PointerCursor(const PointerCursor&) = delete;
    PointerCursor& operator=(const PointerCursor&) = delete;

    // Shows the arrow; serial: the pointer's entry that it answers.
    void show(wl_pointer* pointer, std::uint32_t serial);

private:
    wl_compositor* compositor_;
    wl_shm* shm_;
    wl_cursor_theme* theme_ = nullptr;
    wl_surface* surface_ = nullptr;
};

} // namespace obx::wayland
