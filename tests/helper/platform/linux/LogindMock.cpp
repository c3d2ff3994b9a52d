#include "LogindMock.h"

#include "X11Probe.h"

#include <fstream>
#include <memory>
#include <systemd/sd-bus.h>

namespace obx::x11::test {

namespace {

constexpr const char* logindName = "org.freedesktop.login1";
constexpr const char* logindPath = "/org/freedesktop/login1";

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusPointer = std::unique_ptr<sd_bus, BusCloser>;

BusPointer connect(const std::string& address) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0) {
        return nullptr;
    }
    BusPointer owned(bus);
    if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
        sd_bus_start(bus) < 0) {
        return nullptr;
    }
    return owned;
}

// True when the object at logind's path offers LockSession: the mock has
// claimed the name and loaded its template.
bool offersLockSession(sd_bus* bus) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const char* description = nullptr;
    const bool offered =
        sd_bus_call_method(bus, logindName, logindPath, "org.freedesktop.DBus.Introspectable", "Introspect",
                           &error, &reply, "") >= 0 &&
        sd_bus_message_read(reply, "s", &description) >= 0 &&
        std::string(description).find("\"LockSession\"") != std::string::npos;
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return offered;
}

} // namespace

LogindMock::LogindMock(std::filesystem::path callLog)
    : bus_({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address={report}"}),
      callLog_(std::move(callLog)),
      // The interpreter of the distribution, where python-dbusmock is
      // installed, whatever python3 comes first on PATH.
      mock_({"/usr/bin/python3", "-m", "dbusmock", "--template", "logind", "--logfile", callLog_.string()},
            {"DBUS_SYSTEM_BUS_ADDRESS=" + bus_.report()}) {}

bool LogindMock::waitUntilReady() const {
    if (busAddress().empty() || !mock_.started()) {
        return false;
    }
    const BusPointer bus = connect(busAddress());
    return bus && waitFor([&] { return offersLockSession(bus.get()); });
}

std::vector<std::string> LogindMock::calls() const {
    std::vector<std::string> calls;
    std::ifstream log(callLog_);
    for (std::string line; std::getline(log, line);) {
        // Each line starts with a time stamp and a space.
        calls.push_back(line.substr(line.find(' ') + 1));
    }
    return calls;
}

bool LogindMock::refuseLockSession() const {
    const BusPointer bus = connect(busAddress());
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const bool replaced =
        bus &&
        sd_bus_call_method(bus.get(), logindName, logindPath, "org.freedesktop.DBus.Mock", "AddMethod",
                           &error, nullptr, "sssss", "org.freedesktop.login1.Manager", "LockSession", "s", "",
                           "raise dbus.exceptions.DBusException('not allowed', "
                           "name='org.freedesktop.DBus.Error.AccessDenied')") >= 0;
    sd_bus_error_free(&error);
    return replaced;
}

} // namespace obx::x11::test
