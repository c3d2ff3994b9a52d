#pragma once

// Keystrokes on the session's keymap: which key gives a keysym, and the
// modifier state that pressing and releasing keys leaves, to be reported to
// the compositor beside the keys (a virtual keyboard reports its own).

#include <cstdint>
#include <optional>
#include <xkbcommon/xkbcommon.h>

namespace obx::wayland {

struct ModifierState {
    std::uint32_t depressed = 0;
    std::uint32_t latched = 0;
    std::uint32_t locked = 0;
    std::uint32_t group = 0;
    bool operator==(const ModifierState&) const = default;
};

class SessionKeys {
public:
    // Takes a reference of its own to the keymap.
    explicit SessionKeys(xkb_keymap* keymap);
    ~SessionKeys();
    SessionKeys(const SessionKeys&) = delete;
    SessionKeys& operator=(const SessionKeys&) = delete;

    // The evdev code of the key that gives the keysym in the first layout:
    // without a modifier when some key does, else at any level (as a
    // keystroke names a key, not a character, no modifier is added for it).
    std::optional<std::uint32_t> keyFor(xkb_keysym_t keysym) const;
    // Presses or releases the key; the modifier state after it.
    ModifierState press(std::uint32_t key, bool down);

private:
    xkb_keymap* keymap_;
    xkb_state* state_;
};

} // namespace obx::wayland
