#include "platform/linux/wayland/SeatKeymap.h"

#include "base/Log.h"
#include "platform/linux/wayland/HandedKeymap.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace obx::wayland {

namespace {

void seatName(void*, wl_seat*, const char*) {}
void enter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void leave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void key(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void modifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
               std::uint32_t) {}
void repeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};

} // namespace

SeatKeymap::SeatKeymap(std::string owner, std::function<bool(std::string_view)> ownKeymap)
    : owner_(std::move(owner)), ownKeymap_(std::move(ownKeymap)) {}

SeatKeymap::~SeatKeymap() {
    if (keyboard_) {
        wl_keyboard_destroy(keyboard_);
    }
    if (seat_) {
        wl_seat_destroy(seat_);
    }
}

void SeatKeymap::bind(wl_registry* registry, std::uint32_t name) {
    static constexpr wl_seat_listener seatListener{&capabilities, &seatName};
    if (seat_) {
        return;
    }
    seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    wl_seat_add_listener(seat_, &seatListener, this);
}

void SeatKeymap::capabilities(void* data, wl_seat* seat, std::uint32_t capabilities) {
    static constexpr wl_keyboard_listener keyboardListener{&keymap, &enter,     &leave,
                                                           &key,    &modifiers, &repeatInfo};
    auto& self = *static_cast<SeatKeymap*>(data);
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !self.keyboard_) {
        self.keyboard_ = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(self.keyboard_, &keyboardListener, &self);
    }
}

void SeatKeymap::keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
    auto& self = *static_cast<SeatKeymap*>(data);
    auto source = readHandedKeymap(format, fd, size, self.owner_);
    if (!source.empty() && !(self.ownKeymap_ && self.ownKeymap_(source))) {
        self.source_ = std::move(source);
    }
}

const std::string& SeatKeymap::source(xkb_context* context) {
    if (source_.empty()) {
        const std::unique_ptr<xkb_keymap, KeymapDeleter> fallback(
            xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
        char* text = fallback ? xkb_keymap_get_as_string(fallback.get(), XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
        if (!text) {
            throw std::runtime_error("no keymap from the compositor and no default keymap");
        }
        source_ = text;
        std::free(text);
        log(LogLevel::info, owner_, " - the seat has no keyboard yet: keys on the default keymap");
    }
    return source_;
}

} // namespace obx::wayland
