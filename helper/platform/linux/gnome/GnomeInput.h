#pragma once

// Input on GNOME Shell, all through our extension: keys and buttons from its
// virtual devices, keys named by keysym so that Mutter finds them in the
// current layout (Ctrl+A on AZERTY presses the key labelled A). Text goes
// whole through the Shell's input method when the focused client takes text
// input (exact); else, when short, as keys if the current layout has every
// character; else through the clipboard and Ctrl+V, after which the extension
// gives the user's earlier clipboard content back. The Shell turns the
// extension off on its lock screen, so nothing is typed there. Calls from one
// thread at a time.

#include "platform/linux/gnome/CurrentLayout.h"
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
    void tap(const std::vector<std::uint32_t>& keysyms);
    void tapInStretches(const std::vector<std::uint32_t>& keysyms);
    bool committed(const std::string& text);
    bool pasted(const std::string& text);

    CurrentLayoutKeys layout_;
    ShellBridgeCalls shell_;
    bool absenceLogged_ = false;
};

} // namespace obx::gnome
