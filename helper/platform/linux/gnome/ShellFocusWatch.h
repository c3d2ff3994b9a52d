#pragma once

// Follows the focused window as our Shell extension announces it: a thread of
// its own serves a session bus connection that listens to the extension's
// focus signal and to its bus name coming and going, so a Shell that restarts
// (or loads the extension late) is followed again without a restart of the
// helper. While the extension does not answer, the "gnome" status notice says
// why.

#include "platform/linux/gnome/ShellBridgeBus.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <systemd/sd-bus.h>
#include <thread>

namespace obx::gnome {

class ShellFocusWatch {
public:
    ShellFocusWatch();
    ~ShellFocusWatch();
    ShellFocusWatch(const ShellFocusWatch&) = delete;
    ShellFocusWatch& operator=(const ShellFocusWatch&) = delete;

    // The focused window as last announced; empty while the extension is not
    // on the bus.
    std::optional<ShellFocus> focus() const;
    // Whether the extension is on the bus now.
    bool bridgeRunning() const;
    // Waits until the focus (empty without the extension) satisfies the
    // condition; false after the timeout.
    bool waitFor(const std::function<bool(const std::optional<ShellFocus>&)>& condition,
                 std::chrono::milliseconds timeout) const;

private:
    void run();
    void serve(sd_bus* bus);
    void askFocus(sd_bus* bus);
    void publish(std::optional<ShellFocus> focus);
    void readFocus(sd_bus_message* message);
    // The bridge does not answer (logged once, and why); the user is told
    // what keeps the extension from running.
    void absent(sd_bus* bus, const std::string& why);
    // Sets the status notice; logged when it changes.
    void showNotice(const std::string& text);

    static int onFocusSignal(sd_bus_message* message, void* data, sd_bus_error*);
    static int onFocusReply(sd_bus_message* message, void* data, sd_bus_error*);
    static int onOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*);
    static int onShellOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::optional<ShellFocus> focus_;
    // Written by the watch's thread only: the Shell's unique name (empty
    // while it is away), and what was logged.
    std::string shell_;
    std::string notice_;
    bool absenceLogged_ = false;
    bool matchRefusalLogged_ = false;
    int stopEvent_ = -1;
    std::thread thread_;
};

} // namespace obx::gnome
