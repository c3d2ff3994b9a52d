#include "support/PrivateBus.h"

#include <csignal>
#include <cstdarg>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

namespace obx::test {

namespace {

using namespace std::chrono_literals;

// Generous: CI machines are small and busy.
constexpr std::chrono::milliseconds startTimeout = 20s;

// A clean end for the bus and the mock; the destructor of the process kills
// what did not end in time.
void stop(std::unique_ptr<SpawnedProcess>& process) {
    if (process) {
        process->signal(SIGTERM);
        process->waitExit(startTimeout);
        process.reset();
    }
}

} // namespace

bool PrivateBus::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

PrivateBus::PrivateBus(Kind kind) : kind_(kind) {
    startDaemon();
}

void PrivateBus::startDaemon() {
    const auto config = folder_ / "bus.conf";
    writeFile(config, "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                      "<busconfig>\n"
                      "  <type>session</type>\n"
                      "  <listen>unix:path=" +
                          (folder_ / "bus").string() +
                          "</listen>\n"
                          "  <auth>EXTERNAL</auth>\n"
                          "  <policy context=\"default\">\n"
                          // Compositors connect as the unprivileged user they run as.
                          "    <allow user=\"*\"/>\n"
                          "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                          "    <allow eavesdrop=\"true\"/>\n"
                          "    <allow own=\"*\"/>\n"
                          "  </policy>\n"
                          "</busconfig>\n");
    daemon_ = std::make_unique<SpawnedProcess>(std::vector<std::string>{"/usr/bin/dbus-daemon",
                                                                        "--config-file=" + config.string(),
                                                                        "--nofork", "--nopidfile"},
                                               std::vector<std::string>{}, folder_ / "dbus-daemon.log");
    // The bus is up once a client can say hello to it.
    const bool busUp = waitUntil(
        [this] {
            if (!daemon_->running()) {
                throw std::runtime_error("dbus-daemon ended: " + readFile(folder_ / "dbus-daemon.log"));
            }
            sd_bus* bus = nullptr;
            if (sd_bus_new(&bus) < 0) {
                return false;
            }
            sd_bus_set_address(bus, address().c_str());
            sd_bus_set_bus_client(bus, 1);
            if (sd_bus_start(bus) < 0) {
                sd_bus_unref(bus);
                return false;
            }
            bus_ = bus;
            return true;
        },
        startTimeout);
    if (!busUp) {
        throw std::runtime_error("the private bus did not start");
    }
}

PrivateBus::PrivateBus(Kind kind, const std::string& mockTemplate, const std::string& name)
    : kind_(kind), name_(name) {
    startDaemon();
    // dbusmock is installed for the system's Python, not for another one
    // that may come first on PATH.
    mock_ = std::make_unique<SpawnedProcess>(
        std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock",
                                 kind == Kind::system ? "--system" : "--session", "--template", mockTemplate},
        std::vector<std::string>{environmentEntry()}, folder_ / "dbusmock.log");
    const bool mockUp = waitUntil(
        [this] {
            if (!mock_->running()) {
                throw std::runtime_error("dbusmock ended: " + readFile(folder_ / "dbusmock.log"));
            }
            sd_bus_message* reply = nullptr;
            int owned = 0;
            if (sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s",
                                   name_.c_str()) >= 0) {
                sd_bus_message_read(reply, "b", &owned);
            }
            sd_bus_message_unref(reply);
            return owned != 0;
        },
        startTimeout);
    if (!mockUp) {
        throw std::runtime_error("the " + mockTemplate +
                                 " mock did not start: " + readFile(folder_ / "dbusmock.log"));
    }
}

PrivateBus::~PrivateBus() {
    sd_bus_flush_close_unref(bus_);
    stop(mock_);
    stop(daemon_);
}

std::string PrivateBus::address() const {
    return "unix:path=" + (folder_ / "bus").string();
}

std::string PrivateBus::environmentEntry() const {
    return (kind_ == Kind::system ? "DBUS_SYSTEM_BUS_ADDRESS=" : "DBUS_SESSION_BUS_ADDRESS=") + address();
}

void PrivateBus::call(const char* path, const char* interface, const char* method, sd_bus_message** reply,
                      const char* types, ...) {
    sd_bus_message* message = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int result = sd_bus_message_new_method_call(bus_, &message, name_.c_str(), path, interface, method);
    if (result >= 0) {
        va_list args;
        va_start(args, types);
        result = sd_bus_message_appendv(message, types, args);
        va_end(args);
    }
    if (result >= 0) {
        result = sd_bus_call(bus_, message, 0, &error, reply);
    }
    const std::string text = error.message ? error.message : std::strerror(-result);
    sd_bus_error_free(&error);
    sd_bus_message_unref(message);
    if (result < 0) {
        throw std::runtime_error(std::string(method) + ": " + text);
    }
}

} // namespace obx::test
