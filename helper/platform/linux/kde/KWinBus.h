#pragma once

// The session bus as the KDE bridge uses it: a connection whose method calls
// wait two seconds at most, and KWin's scripting interface on it.

#include <filesystem>
#include <memory>
#include <string>
#include <systemd/sd-bus.h>

namespace obx::kde {

inline constexpr const char* kwinService = "org.kde.KWin";

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusConnection = std::unique_ptr<sd_bus, BusCloser>;

// Throws std::runtime_error when there is no session bus.
BusConnection openSessionBus();

// Calls a method of KWin; reply, when given, receives the answer (unref by
// the caller). Throws std::runtime_error with the bus's message.
void callKWin(sd_bus* bus, const char* path, const char* interface, const char* method,
              sd_bus_message** reply, const char* types, ...);

// Scripts run by KWin, each loaded under a name of its own.
class KWinScripting {
public:
    explicit KWinScripting(sd_bus* bus) : bus_(bus) {}

    // Loads the file under the name, in place of a script loaded under that
    // name before, and starts it. Throws std::runtime_error.
    void run(const std::filesystem::path& file, const std::string& name);
    // Throws std::runtime_error when KWin does not answer.
    void unload(const std::string& name);

private:
    sd_bus* bus_;
};

// Where the KWin scripts are installed: beside the helper's program.
std::filesystem::path kwinScriptFolder();

} // namespace obx::kde
