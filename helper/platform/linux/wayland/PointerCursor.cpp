#include "platform/linux/wayland/PointerCursor.h"

#include <cstdlib>
#include <initializer_list>
#include <wayland-cursor.h>

namespace obx::wayland {

namespace {

constexpr int defaultSize = 24;
constexpr int largestSize = 256;

int cursorSize() {
    const char* size = std::getenv("XCURSOR_SIZE");
    const int value = size ? std::atoi(size) : 0;
    return value > 0 && value <= largestSize ? value : defaultSize;
}

} // namespace

PointerCursor::~PointerCursor() {
    if (surface_) {
        wl_surface_destroy(surface_);
    }
    if (theme_) {
        wl_cursor_theme_destroy(theme_);
    }
}

void PointerCursor::show(wl_pointer* pointer, std::uint32_t serial) {
    if (!surface_) {
        // Loaded at the first entry: the menu's keys work without a theme.
        theme_ = wl_cursor_theme_load(std::getenv("XCURSOR_THEME"), cursorSize(), shm_);
        surface_ = wl_compositor_create_surface(compositor_);
    }
    wl_cursor* cursor = nullptr;
    for (const char* name : {"default", "left_ptr"}) {
        if (!cursor && theme_) {
            cursor = wl_cursor_theme_get_cursor(theme_, name);
        }
    }
    if (!cursor || cursor->image_count == 0) {
        return;
    }
    wl_cursor_image* image = cursor->images[0];
    wl_surface_attach(surface_, wl_cursor_image_get_buffer(image), 0, 0);
    wl_surface_damage(surface_, 0, 0, static_cast<std::int32_t>(image->width),
                      static_cast<std::int32_t>(image->height));
    wl_surface_commit(surface_);
    wl_pointer_set_cursor(pointer, serial, surface_, static_cast<std::int32_t>(image->hotspot_x),
                          static_cast<std::int32_t>(image->hotspot_y));
}

} // namespace obx::wayland
