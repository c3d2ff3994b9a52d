#include "UserPointer.h"

#include "platform/linux/wayland/BoundedRoundtrip.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <stdexcept>
#include <string_view>
#include <utility>
#include <wayland-client.h>

namespace obx::test {

namespace {

using Globals = std::pair<wl_seat*, zwlr_virtual_pointer_manager_v1*>;

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto& globals = *static_cast<Globals*>(data);
    const std::string_view which(interface);
    if (which == wl_seat_interface.name && !globals.first) {
        globals.first = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (which == zwlr_virtual_pointer_manager_v1_interface.name) {
        globals.second = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}
void globalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registryListener{&global, &globalRemove};

} // namespace

UserPointer::UserPointer(const std::string& waylandDisplay, int width, int height)
    : width_(width), height_(height) {
    display_ = wl_display_connect(waylandDisplay.c_str());
    if (!display_) {
        throw std::runtime_error("no Wayland display for the user's pointer");
    }
    Globals globals{};
    wl_registry* registry = wl_display_get_registry(display_);
    wl_registry_add_listener(registry, &registryListener, &globals);
    obx::wayland::boundedRoundtrip(display_, std::chrono::seconds(5));
    wl_registry_destroy(registry);
    seat_ = globals.first;
    manager_ = globals.second;
    if (!seat_ || !manager_) {
        release();
        throw std::runtime_error("the compositor offers no virtual pointer");
    }
    pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, seat_);
    settle();
}

UserPointer::~UserPointer() {
    release();
}

void UserPointer::release() {
    if (!display_) {
        return;
    }
    if (pointer_) {
        zwlr_virtual_pointer_v1_destroy(pointer_);
    }
    if (manager_) {
        zwlr_virtual_pointer_manager_v1_destroy(manager_);
    }
    if (seat_) {
        wl_seat_destroy(seat_);
    }
    wl_display_flush(display_);
    wl_display_disconnect(display_);
    display_ = nullptr;
}

void UserPointer::settle() {
    if (!obx::wayland::boundedRoundtrip(display_, std::chrono::seconds(5))) {
        throw std::runtime_error("the compositor did not take the user's pointer");
    }
}

void UserPointer::moveTo(int x, int y) {
    zwlr_virtual_pointer_v1_motion_absolute(pointer_, time_++, static_cast<std::uint32_t>(x),
                                            static_cast<std::uint32_t>(y), static_cast<std::uint32_t>(width_),
                                            static_cast<std::uint32_t>(height_));
    zwlr_virtual_pointer_v1_frame(pointer_);
    settle();
}

void UserPointer::click(std::uint32_t button) {
    for (const auto state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED}) {
        zwlr_virtual_pointer_v1_button(pointer_, time_++, button, state);
        zwlr_virtual_pointer_v1_frame(pointer_);
    }
    settle();
}

} // namespace obx::test
