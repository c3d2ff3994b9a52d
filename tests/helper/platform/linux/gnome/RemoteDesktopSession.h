#pragma once

// Input through Mutter's remote desktop interface on the session bus
// (org.gnome.Mutter.RemoteDesktop), which the tests use to play the user's
// pointer and to share the screen as a remote desktop client does: a session
// of the test's own, made at the first input and made again when it is gone
// (the Shell restarted, or closed it). Mutter types a keysym with the key that gives it in the current
// layout, adding Shift or AltGr where its level needs them, and drops one the
// layout lacks. Calls from one thread at a time; each waits a bounded time.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <systemd/sd-bus.h>

namespace obx::test {

class RemoteDesktopSession {
public:
    explicit RemoteDesktopSession(std::chrono::milliseconds timeout);
    ~RemoteDesktopSession();
    RemoteDesktopSession(const RemoteDesktopSession&) = delete;
    RemoteDesktopSession& operator=(const RemoteDesktopSession&) = delete;

    // Each throws std::runtime_error when Mutter cannot be reached.
    void keysym(std::uint32_t keysym, bool down);
    // An evdev button code (BTN_LEFT...).
    void button(std::uint32_t code, bool down);
    // Moves the pointer by this many pixels.
    void pointerMotion(double dx, double dy);

private:
    template <typename... Values>
    void notify(const char* method, const char* signature, Values... values);
    template <typename... Values>
    bool tryNotify(const char* method, const char* signature, Values... values);
    void open();
    void close();

    std::mutex mutex_;
    std::chrono::milliseconds timeout_;
    sd_bus* bus_ = nullptr;
    std::string session_;
};

} // namespace obx::test
