#pragma once

// The user's pointer on a headless compositor, which has none: a virtual
// pointer placed at absolute positions of the output, whose buttons click.

#include <cstdint>
#include <string>

struct wl_display;
struct wl_seat;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

namespace obx::test {

class UserPointer {
public:
    // width, height: the output's size, the extent of the positions. Throws
    // std::runtime_error.
    UserPointer(const std::string& waylandDisplay, int width, int height);
    ~UserPointer();
    UserPointer(const UserPointer&) = delete;
    UserPointer& operator=(const UserPointer&) = delete;

    // Each waits until the compositor has handled it; throws
    // std::runtime_error when it does not answer.
    void moveTo(int x, int y);
    // A press and a release of the button (an evdev code, BTN_...).
    void click(std::uint32_t button);

private:
    void settle();
    void release();

    wl_display* display_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwlr_virtual_pointer_manager_v1* manager_ = nullptr;
    zwlr_virtual_pointer_v1* pointer_ = nullptr;
    int width_;
    int height_;
    std::uint32_t time_ = 1;
};

} // namespace obx::test
