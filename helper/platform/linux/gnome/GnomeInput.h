#pragma once

// Input on GNOME Shell. Keys and buttons go through Mutter's remote desktop
// session, keys named by keysym so that Mutter finds them in the current
// layout (Ctrl+A on AZERTY presses the key labelled A). Text goes whole through
// the Shell's input method when the focused client takes text input (exact);
// else, when short, as keys if the current layout has every character; else
// through the clipboard and Ctrl+V, after which the extension gives the
// user's earlier clipboard content back. Nothing is typed or clicked while the
// screen is locked. Calls from one thread at a time.

#include "platform/linux/gnome/CurrentLayout.h"
#include "platform/linux/gnome/RemoteDesktopSession.h"
#include "platform/linux/gnome/ShellBridgeCalls.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace obx::gnome {

class GnomeInput {
public:
    explicit GnomeInput(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

    // As the platform services name them: modifier mask and virtual key. A
    // key the current layout lacks is logged and left out. Throws
    // std::runtime_error when Mutter cannot be reached.
    void keystroke(std::uint16_t modifiers, std::uint16_t virtualKey, bool down, bool modifiersOnly);
    // Types the UTF-8 text exactly; what cannot be delivered is logged and
    // left out. Throws std::runtime_error.
    void type(const std::string& text);
    // An evdev button code (BTN_LEFT...). Throws std::runtime_error.
    void button(std::uint32_t code, bool down);

private:
    bool locked();
    void tap(const std::vector<std::uint32_t>& keysyms);
    void tapInStretches(const std::vector<std::uint32_t>& keysyms);
    bool committed(const std::string& text);
    bool pasted(const std::string& text);

    RemoteDesktopSession session_;
    CurrentLayoutKeys layout_;
    ShellBridgeCalls shell_;
    bool absenceLogged_ = false;
    // Whether the screen was locked at the last answer, and when it was asked.
    bool lockedAtLastAnswer_ = false;
    std::chrono::steady_clock::time_point lockAskedAt_;
};

} // namespace obx::gnome
