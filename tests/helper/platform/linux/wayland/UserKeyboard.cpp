#include "UserKeyboard.h"

#include "platform/linux/wayland/BoundedRoundtrip.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <cstring>
#include <linux/input-event-codes.h>
#include <stdexcept>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace obx::test {

namespace {

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto& keyboard = *static_cast<std::pair<wl_seat*, zwp_virtual_keyboard_manager_v1*>*>(data);
    const std::string_view which(interface);
    if (which == wl_seat_interface.name && !keyboard.first) {
        keyboard.first = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (which == zwp_virtual_keyboard_manager_v1_interface.name) {
        keyboard.second = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
}
void globalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registryListener{&global, &globalRemove};

std::string layoutKeymap(const std::string& layout) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names{"evdev", "pc105", layout.c_str(), "", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    if (!text) {
        throw std::runtime_error("no keymap for the layout " + layout);
    }
    std::string source(text);
    std::free(text);
    return source;
}

} // namespace

UserKeyboard::UserKeyboard(const std::string& waylandDisplay, const std::string& layout) {
    const auto source = layoutKeymap(layout);
    display_ = wl_display_connect(waylandDisplay.c_str());
    if (!display_) {
        throw std::runtime_error("no Wayland display for the user's keyboard");
    }
    std::pair<wl_seat*, zwp_virtual_keyboard_manager_v1*> globals{};
    wl_registry* registry = wl_display_get_registry(display_);
    wl_registry_add_listener(registry, &registryListener, &globals);
    obx::wayland::boundedRoundtrip(display_, std::chrono::seconds(5));
    wl_registry_destroy(registry);
    seat_ = globals.first;
    manager_ = globals.second;
    if (!seat_ || !manager_) {
        wl_display_disconnect(display_);
        throw std::runtime_error("the compositor offers no virtual keyboard");
    }
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
    const int fd = memfd_create("user-keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, source.c_str(), source.size() + 1) != static_cast<ssize_t>(source.size() + 1)) {
        if (fd >= 0) {
            close(fd);
        }
        release();
        throw std::runtime_error("cannot hand over the user's keymap");
    }
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<std::uint32_t>(source.size() + 1));
    close(fd);
    zwp_virtual_keyboard_v1_key(keyboard_, 0, KEY_LEFTSHIFT, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(keyboard_, 1, KEY_LEFTSHIFT, WL_KEYBOARD_KEY_STATE_RELEASED);
    obx::wayland::boundedRoundtrip(display_, std::chrono::seconds(5));
}

void UserKeyboard::tap(std::uint32_t key) {
    zwp_virtual_keyboard_v1_key(keyboard_, time_++, key, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(keyboard_, time_++, key, WL_KEYBOARD_KEY_STATE_RELEASED);
    if (!obx::wayland::boundedRoundtrip(display_, std::chrono::seconds(5))) {
        throw std::runtime_error("the compositor did not take the user's key");
    }
}

UserKeyboard::~UserKeyboard() {
    release();
}

void UserKeyboard::release() {
    if (!display_) {
        return;
    }
    zwp_virtual_keyboard_v1_destroy(keyboard_);
    zwp_virtual_keyboard_manager_v1_destroy(manager_);
    wl_seat_destroy(seat_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
    display_ = nullptr;
}

} // namespace obx::test
