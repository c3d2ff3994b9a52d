#pragma once

// The user's keyboard on a headless compositor, which has none: a virtual
// keyboard with the keymap of a layout, which taps Shift once so that the
// seat takes it as its keyboard and hands its keymap to every client.

#include <cstdint>
#include <string>

struct wl_display;
struct wl_seat;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

namespace obx::test {

class UserKeyboard {
public:
    // Throws std::runtime_error.
    UserKeyboard(const std::string& waylandDisplay, const std::string& layout);
    ~UserKeyboard();
    UserKeyboard(const UserKeyboard&) = delete;
    UserKeyboard& operator=(const UserKeyboard&) = delete;

    // Presses and releases the key (an evdev code, KEY_...), then waits until
    // the compositor has handled it.
    void tap(std::uint32_t key);

private:
    void release();

    wl_display* display_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    std::uint32_t time_ = 2;
};

} // namespace obx::test
