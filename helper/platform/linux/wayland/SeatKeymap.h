#pragma once

// The keymap of the seat's keyboard, as the compositor hands it to every
// client with wl_keyboard.keymap: input of ours finds the keys of the user's
// layout in it. A seat without a keyboard (a headless compositor) has the
// keymap the environment names (XKB_DEFAULT_LAYOUT and its siblings), else
// US, as the compositors themselves fall back.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct wl_keyboard;
struct wl_registry;
struct wl_seat;
struct xkb_context;

namespace obx::wayland {

class SeatKeymap {
public:
    // owner: names the owner in log lines. ownKeymap: tells the keymaps the
    // owner put on the seat itself, which the compositor hands back but
    // which are not the session's.
    explicit SeatKeymap(std::string owner, std::function<bool(std::string_view)> ownKeymap = {});
    // Destroy before the display is disconnected.
    ~SeatKeymap();
    SeatKeymap(const SeatKeymap&) = delete;
    SeatKeymap& operator=(const SeatKeymap&) = delete;

    // Binds the seat the registry announced under name (the first seat: the
    // one compositors call seat0), and its keyboard once it has one.
    void bind(wl_registry* registry, std::uint32_t name);
    // Null until bound.
    wl_seat* seat() const { return seat_; }
    // The session's keymap as text, the latest the compositor handed over.
    // Throws std::runtime_error when none was and there is no default either.
    const std::string& source(xkb_context* context);

private:
    static void capabilities(void* data, wl_seat* seat, std::uint32_t capabilities);
    static void keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size);

    std::string owner_;
    std::function<bool(std::string_view)> ownKeymap_;
    wl_seat* seat_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    std::string source_;
};

} // namespace obx::wayland
