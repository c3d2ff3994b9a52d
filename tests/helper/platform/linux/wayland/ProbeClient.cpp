// A small Wayland client for the tests: one xdg-shell toplevel with the app
// id given, drawn in a plain colour at whatever size the compositor asks for.
// It prints each size the compositor asks for, with "maximized" when the
// window is, and ends with 0 when the compositor asks it to close. With
// --virtual-pointer it also gives the compositor's seat a pointer device;
// with --report-input it also prints every keymap, key and button it
// receives, a line each:
//   keymap LAYOUT-NAME
//   focus enter|leave
//   key KEYSYM-NAME down|up mods=NAME+NAME text=UTF8
//   pointer enter
//   button CODE down|up TIME
//   paste TEXT          (the clipboard's text, read at each Ctrl+V)
//   paste-types TYPE,TYPE   (the mime types it was offered under)
// After --report-input, a number of milliseconds makes it sleep that long
// after each key press, as a busy client that reads its events late.
//
// obx_wayland_probe APP_ID [--virtual-pointer | --report-input [PAUSE-MS]]

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

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
    bool reportInput = false;
    int keyPauseMs = 0;
    wl_keyboard* keyboard = nullptr;
    wl_pointer* pointer = nullptr;
    xkb_context* xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
    wl_display* display = nullptr;
    wl_data_device_manager* dataDevices = nullptr;
    wl_data_device* dataDevice = nullptr;
    wl_data_offer* selection = nullptr;
    // The mime types of the offers, the latest offer's last.
    std::vector<std::pair<wl_data_offer*, std::string>> offerTypes;
};

constexpr int fallbackSize = 200;
constexpr int maxSize = 8192;

// Defined with the input handlers below.
extern const wl_seat_listener seatListener;

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
        // Now: the capabilities come in answer to the bind.
        wl_seat_add_listener(probe.seat, &seatListener, &probe);
    } else if (which == xdg_wm_base_interface.name) {
        probe.shell = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    } else if (which == wl_data_device_manager_interface.name) {
        probe.dataDevices = static_cast<wl_data_device_manager*>(
            wl_registry_bind(registry, name, &wl_data_device_manager_interface, 1));
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

void report(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
    auto& probe = *static_cast<Probe*>(data);
    void* text = format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1
                     ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0)
                     : MAP_FAILED;
    close(fd);
    if (text == MAP_FAILED) {
        report("keymap unreadable");
        return;
    }
    xkb_keymap* map = xkb_keymap_new_from_string(probe.xkb, static_cast<const char*>(text),
                                                 XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(text, size);
    if (!map) {
        report("keymap invalid");
        return;
    }
    xkb_state_unref(probe.state);
    xkb_keymap_unref(probe.keymap);
    probe.keymap = map;
    probe.state = xkb_state_new(map);
    const char* layout = xkb_keymap_layout_get_name(map, 0);
    report(std::string("keymap ") + (layout ? layout : "(unnamed)"));
}

// The keyboard's focus coming and going: a surface of another client (a menu)
// took it and gave it back.
void keyboardEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {
    report("focus enter");
}
void keyboardLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {
    report("focus leave");
}

std::string activeModifiers(xkb_state* state) {
    std::string names;
    for (const char* name : {XKB_MOD_NAME_CTRL, XKB_MOD_NAME_SHIFT, XKB_MOD_NAME_ALT, XKB_MOD_NAME_LOGO}) {
        if (xkb_state_mod_name_is_active(state, name, XKB_STATE_MODS_EFFECTIVE) > 0) {
            names += (names.empty() ? "" : "+") + std::string(name);
        }
    }
    return names;
}

// The clipboard's text, as a program reads it for a paste (two seconds at
// most).
std::string clipboardText(Probe& probe) {
    int ends[2];
    if (!probe.selection || pipe2(ends, O_CLOEXEC) != 0) {
        return "(nothing)";
    }
    wl_data_offer_receive(probe.selection, "text/plain;charset=utf-8", ends[1]);
    close(ends[1]);
    wl_display_flush(probe.display);
    std::string text;
    char buffer[4096];
    pollfd ready{ends[0], POLLIN, 0};
    while (poll(&ready, 1, 2000) > 0) {
        const ssize_t got = read(ends[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(ends[0]);
    return text;
}

void key(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t state) {
    auto& probe = *static_cast<Probe*>(data);
    if (!probe.state) {
        report("key without keymap");
        return;
    }
    const xkb_keycode_t code = key + 8;
    char name[64] = "";
    xkb_keysym_get_name(xkb_state_key_get_one_sym(probe.state, code), name, sizeof name);
    const bool down = state == WL_KEYBOARD_KEY_STATE_PRESSED;
    char text[64] = "";
    if (down) {
        xkb_state_key_get_utf8(probe.state, code, text, sizeof text);
    }
    // Control characters (Ctrl+A gives U+0001) are shown by their key only.
    const bool printable = static_cast<unsigned char>(text[0]) >= 0x20;
    const std::string modifiers = activeModifiers(probe.state);
    report(std::string("key ") + name + (down ? " down" : " up") + " mods=" + modifiers +
           " text=" + (printable ? text : ""));
    if (down && probe.keyPauseMs > 0) {
        usleep(static_cast<useconds_t>(probe.keyPauseMs) * 1000);
    }
    if (down && modifiers == XKB_MOD_NAME_CTRL && xkb_state_key_get_one_sym(probe.state, code) == XKB_KEY_v) {
        report("paste " + clipboardText(probe));
        std::string types;
        for (const auto& [offer, type] : probe.offerTypes) {
            if (offer == probe.selection) {
                types += (types.empty() ? "" : ",") + type;
            }
        }
        report("paste-types " + types);
    }
}

void modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
               std::uint32_t locked, std::uint32_t group) {
    auto& probe = *static_cast<Probe*>(data);
    if (probe.state) {
        xkb_state_update_mask(probe.state, depressed, latched, locked, 0, 0, group);
    }
}
const wl_keyboard_listener keyboardListener{&keymap, &keyboardEnter, &keyboardLeave,
                                            &key,    &modifiers,     nullptr};

void pointerEnter(void*, wl_pointer*, std::uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t) {
    report("pointer enter");
}
void pointerLeave(void*, wl_pointer*, std::uint32_t, wl_surface*) {}
void pointerMotion(void*, wl_pointer*, std::uint32_t, wl_fixed_t, wl_fixed_t) {}
void button(void*, wl_pointer*, std::uint32_t, std::uint32_t time, std::uint32_t button,
            std::uint32_t state) {
    report("button " + std::to_string(button) +
           (state == WL_POINTER_BUTTON_STATE_PRESSED ? " down " : " up ") + std::to_string(time));
}
void axis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
// Bound at version 1: the later events never come.
const wl_pointer_listener pointerListener{&pointerEnter, &pointerLeave, &pointerMotion, &button, &axis,
                                          nullptr,       nullptr,       nullptr,        nullptr, nullptr};

void offerType(void* data, wl_data_offer* offer, const char* type) {
    auto& probe = *static_cast<Probe*>(data);
    if (probe.offerTypes.size() < 64) {
        probe.offerTypes.emplace_back(offer, type);
    }
}
// Bound at version 1: the later events never come.
const wl_data_offer_listener offerListener{&offerType, nullptr, nullptr};

void dataOffer(void* data, wl_data_device*, wl_data_offer* offer) {
    wl_data_offer_add_listener(offer, &offerListener, data);
}
void dataEnter(void*, wl_data_device*, std::uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t, wl_data_offer*) {}
void dataLeave(void*, wl_data_device*) {}
void dataMotion(void*, wl_data_device*, std::uint32_t, wl_fixed_t, wl_fixed_t) {}
void dataDrop(void*, wl_data_device*) {}
void selection(void* data, wl_data_device*, wl_data_offer* offer) {
    auto& probe = *static_cast<Probe*>(data);
    if (probe.selection) {
        wl_data_offer_destroy(probe.selection);
    }
    probe.selection = offer;
    // Only the selection's types are of use.
    std::erase_if(probe.offerTypes, [&](const auto& entry) { return entry.first != offer; });
}
const wl_data_device_listener dataDeviceListener{&dataOffer,  &dataEnter, &dataLeave,
                                                 &dataMotion, &dataDrop,  &selection};

void capabilities(void* data, wl_seat* seat, std::uint32_t capabilities) {
    auto& probe = *static_cast<Probe*>(data);
    if (!probe.reportInput) {
        return;
    }
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !probe.keyboard) {
        probe.keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(probe.keyboard, &keyboardListener, &probe);
    }
    if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !probe.pointer) {
        probe.pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(probe.pointer, &pointerListener, &probe);
    }
}
// Bound at version 1: the seat's name never comes.
const wl_seat_listener seatListener{&capabilities, nullptr};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: obx_wayland_probe APP_ID [--virtual-pointer | --report-input [PAUSE-MS]]\n");
        return 2;
    }
    const std::string_view option = argc > 2 ? argv[2] : "";
    const bool virtualPointer = option == "--virtual-pointer";
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    Probe probe;
    probe.reportInput = option == "--report-input";
    probe.keyPauseMs = probe.reportInput && argc > 3 ? std::atoi(argv[3]) : 0;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &probe);
    wl_display_roundtrip(display);
    probe.display = display;
    if (probe.reportInput && probe.seat && probe.dataDevices) {
        probe.dataDevice = wl_data_device_manager_get_data_device(probe.dataDevices, probe.seat);
        wl_data_device_add_listener(probe.dataDevice, &dataDeviceListener, &probe);
    }
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
