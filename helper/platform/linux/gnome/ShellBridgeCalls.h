#pragma once

// Calls to our Shell extension from one thread at a time: window commands,
// keys and buttons, the held modifier keys, text and the snippet menu. Each
// goes to the connection that owns
// org.gnome.Shell (found again when the Shell restarted), so a program that
// took the bridge's name while the extension is off (during the lock screen,
// for example) is never told a text. The session bus connection is made at
// the first call and made again after it failed; every call is bounded in
// time.

#include "platform/linux/gnome/ShellBridgeBus.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <systemd/sd-bus.h>
#include <vector>

namespace obx::gnome {

class ShellBridgeCalls {
public:
    explicit ShellBridgeCalls(std::chrono::milliseconds timeout) : timeout_(timeout) {}
    ~ShellBridgeCalls();
    ShellBridgeCalls(const ShellBridgeCalls&) = delete;
    ShellBridgeCalls& operator=(const ShellBridgeCalls&) = delete;

    // Each throws std::runtime_error when the extension does not answer.

    // Whether the extension knows the command.
    bool runWindowCommand(const std::string& command);
    // Presses or releases the key that gives the keysym in the current
    // layout (Mutter adds Shift or AltGr where its level needs them).
    void keysym(std::uint32_t keysym, bool pressed);
    // An evdev button code (BTN_LEFT...); false for one the extension does
    // not take.
    bool button(std::uint32_t code, bool pressed);
    // The Shell's modifier mask (Clutter's: Shift 1, Ctrl 4, Alt 8).
    std::uint32_t modifierMask();
    // Commits the text through the Shell's input method; false when the
    // focused client takes no text input.
    bool commitText(const std::string& text);
    // Puts the text on the clipboard for a paste; the extension gives the
    // earlier content back a moment later. False when it refused the text.
    bool offerClipboardText(const std::string& text);
    // Shows the snippet menu and waits for the user: the chosen caption's
    // index, or -1 when the menu was dismissed.
    int showSnippetMenu(const std::string& title, const std::vector<std::string>& captions);

private:
    using Arguments = std::function<int(sd_bus_message*)>;
    sd_bus_message* call(const char* method, const Arguments& arguments) {
        return call(bridgeObjectPath, bridgeInterface, method, arguments);
    }
    sd_bus_message* call(const char* path, const char* interface, const char* method,
                         const Arguments& arguments);
    sd_bus_message* tryCall(const char* path, const char* interface, const char* method,
                            const Arguments& arguments, bool& shellGone);
    bool textCall(const char* method, const std::string& text);

    std::mutex mutex_;
    std::chrono::milliseconds timeout_;
    sd_bus* bus_ = nullptr;
    // The Shell's unique name; empty until found.
    std::string shell_;
};

} // namespace obx::gnome
