#include "platform/linux/wayland/ShmBuffer.h"

#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace obx::wayland {

namespace {

// Larger than any output's picture; a compositor asking for more is wrong.
constexpr int largestSide = 16384;
constexpr std::size_t largestSize = std::size_t{512} << 20;

} // namespace

ShmBuffer::ShmBuffer(wl_shm* shm, int width, int height) {
    if (width <= 0 || height <= 0 || width > largestSide || height > largestSide) {
        throw std::runtime_error("the compositor asked for a surface of an impossible size");
    }
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    size_ = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    if (stride <= 0 || size_ > largestSize) {
        throw std::runtime_error("the compositor asked for a surface of an impossible size");
    }
    // Untouched pages of the file read as zero: transparent, and free until
    // drawn on.
    const int fd = memfd_create("obx-menu", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size_)) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        throw std::runtime_error("cannot make room for the menu's picture");
    }
    memory_ = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory_ == MAP_FAILED) {
        memory_ = nullptr;
        close(fd);
        throw std::runtime_error("cannot map the menu's picture");
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(size_));
    buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(buffer_, &listener, this);
    cairo_ = cairo_image_surface_create_for_data(static_cast<unsigned char*>(memory_), CAIRO_FORMAT_ARGB32,
                                                 width, height, stride);
}

ShmBuffer::~ShmBuffer() {
    cairo_surface_destroy(cairo_);
    wl_buffer_destroy(buffer_);
    munmap(memory_, size_);
}

void ShmBuffer::attachTo(wl_surface* surface) {
    cairo_surface_flush(cairo_);
    wl_surface_attach(surface, buffer_, 0, 0);
    busy_ = true;
}

void ShmBuffer::released(void* data, wl_buffer*) {
    static_cast<ShmBuffer*>(data)->busy_ = false;
}

} // namespace obx::wayland
