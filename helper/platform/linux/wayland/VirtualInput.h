#pragma once

// Input on a wlroots compositor: keystrokes on a virtual keyboard that carries
// the session's keymap, exact text on a second one whose keymaps are made for
// the text, buttons on a virtual pointer. A connection of its own, made at the
// first use and made again after the compositor went away; every wait on the
// compositor is bounded. Calls may come from any thread, one at a time.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace obx::wayland {

class VirtualInput {
public:
    // displayName: as WAYLAND_DISPLAY (a name or an absolute path); empty for
    // the environment's.
    explicit VirtualInput(std::string displayName = {},
                          std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    ~VirtualInput();
    VirtualInput(const VirtualInput&) = delete;
    VirtualInput& operator=(const VirtualInput&) = delete;

    // As the platform services name them: modifier mask and virtual key.
    // Throws std::runtime_error when the compositor cannot be reached.
    void keystroke(std::uint16_t modifiers, std::uint16_t virtualKey, bool down, bool modifiersOnly);
    // Types the UTF-8 text exactly; characters no key can type are logged
    // and left out. Throws std::runtime_error.
    void type(const std::string& text);
    // An evdev button code (BTN_LEFT...). Throws std::runtime_error.
    void button(std::uint32_t code, bool down);

private:
    class Connection;

    Connection& connection();
    // Runs the body on the connection; a failed connection is dropped, so the
    // next call connects again.
    template <typename Body>
    void withConnection(Body&& body);

    std::string displayName_;
    std::chrono::milliseconds timeout_;
    std::mutex mutex_;
    std::unique_ptr<Connection> connection_;
};

} // namespace obx::wayland
