#pragma once

// A private D-Bus bus with one python3-dbusmock template on it, for programs
// pointed at it through DBUS_SYSTEM_BUS_ADDRESS or DBUS_SESSION_BUS_ADDRESS.
// Construction throws std::runtime_error when the bus or the mock cannot
// start.

#include "support/SpawnedProcess.h"
#include "support/TempFolder.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <systemd/sd-bus.h>

namespace obx::test {

class PrivateBus {
public:
    enum class Kind { system, session };

    // A bus with no mock on it: the test serves the names it needs itself.
    explicit PrivateBus(Kind kind);
    // mockTemplate: the dbusmock template; name: the bus name it takes.
    PrivateBus(Kind kind, const std::string& mockTemplate, const std::string& name);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    std::string address() const;
    // "DBUS_SYSTEM_BUS_ADDRESS=..." or "DBUS_SESSION_BUS_ADDRESS=...".
    std::string environmentEntry() const;
    // The test's own connection.
    sd_bus* bus() const { return bus_; }

    // Calls the mock's method on path; throws with the bus's error message.
    // reply, when given, receives the answer (the caller unrefs it).
    void call(const char* path, const char* interface, const char* method, sd_bus_message** reply,
              const char* types, ...);

    // Polls condition until it holds or timeout passes.
    static bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

private:
    void startDaemon();

    Kind kind_;
    std::string name_;
    TempFolder folder_;
    std::unique_ptr<SpawnedProcess> daemon_;
    std::unique_ptr<SpawnedProcess> mock_;
    sd_bus* bus_ = nullptr;
};

} // namespace obx::test
