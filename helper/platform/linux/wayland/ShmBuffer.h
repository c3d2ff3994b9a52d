#pragma once

// A picture shared with the compositor: ARGB pixels in an anonymous file,
// all transparent at first, drawn on with cairo. The compositor reads it until
// it releases the buffer; drawing on it before that would show half a frame.

#include <cairo.h>
#include <cstddef>
#include <wayland-client.h>

namespace obx::wayland {

class ShmBuffer {
public:
    // Throws std::runtime_error when the size is out of bounds or the memory
    // cannot be had.
    ShmBuffer(wl_shm* shm, int width, int height);
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    bool busy() const { return busy_; }
    // Puts the buffer on the surface; busy until the compositor releases it.
    void attachTo(wl_surface* surface);
    // A cairo surface over the pixels (premultiplied ARGB, as wl_shm's).
    cairo_surface_t* pixels() const { return cairo_; }

private:
    static void released(void* data, wl_buffer* buffer);
    static constexpr wl_buffer_listener listener{&released};

    void* memory_ = nullptr;
    std::size_t size_ = 0;
    wl_buffer* buffer_ = nullptr;
    cairo_surface_t* cairo_ = nullptr;
    bool busy_ = false;
};

} // namespace obx::wayland
