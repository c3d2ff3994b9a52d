#pragma once

// Calls to our Shell extension from one thread at a time: window commands and
// the held modifier keys. The session bus connection is made at the first
// call and made again after it failed; every call is bounded in time.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <systemd/sd-bus.h>

namespace obx::gnome {

class ShellBridgeCalls {
public:
    explicit ShellBridgeCalls(std::chrono::milliseconds timeout) : timeout_(timeout) {}
    ~ShellBridgeCalls();
    ShellBridgeCalls(const ShellBridgeCalls&) = delete;
    ShellBridgeCalls& operator=(const ShellBridgeCalls&) = delete;

    // Whether the extension knows the command. Throws std::runtime_error
    // when the extension does not answer.
    bool runWindowCommand(const std::string& command);
    // The Shell's modifier mask (Clutter's: Shift 1, Ctrl 4, Alt 8). Throws
    // as above.
    std::uint32_t modifierMask();

private:
    sd_bus_message* call(const char* method, const char* signature, const char* argument);

    std::mutex mutex_;
    std::chrono::milliseconds timeout_;
    sd_bus* bus_ = nullptr;
};

} // namespace obx::gnome
