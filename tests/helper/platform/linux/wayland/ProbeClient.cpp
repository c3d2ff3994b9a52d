// A small Wayland client for the tests: one xdg-shell toplevel with the app
// id given, drawn in a plain colour at whatever size the compositor asks for.
// It prints each size the compositor asks for, with "maximized" when the
// window is, and ends with 0 when the compositor asks it to close. With
// --virtual-pointer it also gives the compositor's seat a pointer device.
//
// obx_wayland_probe APP_ID [--virtual-pointer]

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

struct Probe {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    xdg_wm_base* shell = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    wl_surface* surface = nullptr;
    wl_buffer* buffer = nullptr;
    int width = 0;
    int height = 0;
    bool closing = false;
};

constexpr int fallbackSize = 200;
constexpr int maxSize = 8192;

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto& probe = *static_cast<Probe*>(data);
    const std::string_view which(interface);
    if (which == wl_compositor_interface.name) {
        probe.compositor =
            static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    } else if (which == wl_shm_interface.name) {
        probe.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (which == wl_seat_interface.name && !probe.seat) {
        probe.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (which == xdg_wm_base_interface.name) {
        probe.shell = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    } else if (which == zwlr_virtual_pointer_manager_v1_interface.name) {
        probe.pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}
void globalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registryListener{&global, &globalRemove};

void ping(void*, xdg_wm_base* shell, std::uint32_t serial) {
    xdg_wm_base_pong(shell, serial);
}
const xdg_wm_base_listener shellListener{&ping};

// A buffer of the size asked for, filled with one colour.
wl_buffer* paint(Probe& probe) {
    const int width = probe.width > 0 ? std::min(probe.width, maxSize) : fallbackSize;
    const int height = probe.height > 0 ? std::min(probe.height, maxSize) : fallbackSize;
    const int stride = width * 4;
    const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    const int fd = memfd_create("obx-probe", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
        return nullptr;
    }
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels != MAP_FAILED) {
        auto* words = static_cast<std::uint32_t*>(pixels);
        std::fill(words, words + size / 4, 0xff3070b0u);
        munmap(pixels, size);
    }
    wl_shm_pool* pool = wl_shm_create_pool(probe.shm, fd, static_cast<std::int32_t>(size));
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

void surfaceConfigure(void* data, xdg_surface* surface, std::uint32_t serial) {
    auto& probe = *static_cast<Probe*>(data);
    xdg_surface_ack_configure(surface, serial);
    if (probe.buffer) {
        wl_buffer_destroy(probe.buffer);
    }
    probe.buffer = paint(probe);
    wl_surface_attach(probe.surface, probe.buffer, 0, 0);
    wl_surface_damage(probe.surface, 0, 0, maxSize, maxSize);
    wl_surface_commit(probe.surface);
}
const xdg_surface_listener surfaceListener{&surfaceConfigure};

// Each configure is written to standard output ("configure WIDTH HEIGHT",
// then " maximized" in that state), so a test sees what the desktop asked.
void toplevelConfigure(void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array* states) {
    auto& probe = *static_cast<Probe*>(data);
    probe.width = width;
    probe.height = height;
    const auto* begin = static_cast<const std::uint32_t*>(states->data);
    const bool maximized = std::find(begin, begin + states->size / sizeof *begin,
                                     XDG_TOPLEVEL_STATE_MAXIMIZED) != begin + states->size / sizeof *begin;
    std::printf("configure %d %d%s\n", width, height, maximized ? " maximized" : "");
    std::fflush(stdout);
}
void toplevelClose(void* data, xdg_toplevel*) {
    static_cast<Probe*>(data)->closing = true;
}
// Bound at version 1: the later events never come.
const xdg_toplevel_listener toplevelListener{&toplevelConfigure, &toplevelClose, nullptr, nullptr};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: obx_wayland_probe APP_ID [--virtual-pointer]\n");
        return 2;
    }
    const bool virtualPointer = argc > 2 && std::string_view(argv[2]) == "--virtual-pointer";
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    Probe probe;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &probe);
    wl_display_roundtrip(display);
    if (!probe.compositor || !probe.shm || !probe.shell || (virtualPointer && !probe.pointers)) {
        std::fprintf(stderr, "the compositor lacks a global the probe needs\n");
        return 1;
    }
    xdg_wm_base_add_listener(probe.shell, &shellListener, nullptr);
    if (virtualPointer) {
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(probe.pointers, probe.seat);
    }
    probe.surface = wl_compositor_create_surface(probe.compositor);
    xdg_surface* surface = xdg_wm_base_get_xdg_surface(probe.shell, probe.surface);
    xdg_surface_add_listener(surface, &surfaceListener, &probe);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(surface);
    xdg_toplevel_add_listener(toplevel, &toplevelListener, &probe);
    xdg_toplevel_set_app_id(toplevel, argv[1]);
    xdg_toplevel_set_title(toplevel, argv[1]);
    wl_surface_commit(probe.surface);
    while (!probe.closing && wl_display_dispatch(display) >= 0) {
    }
    wl_display_disconnect(display);
    return probe.closing ? 0 : 1;
}
