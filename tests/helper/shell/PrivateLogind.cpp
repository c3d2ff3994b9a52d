#include "PrivateLogind.h"

#include "HelperProcess.h"

#include <csignal>
#include <cstdarg>
#include <cstring>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace obx::test {

namespace {

constexpr const char* mockInterface = "org.freedesktop.DBus.Mock";
constexpr const char* managerPath = "/org/freedesktop/login1";

// A clean end for the bus and the mock; the destructor of the process kills
// what did not end in time.
void stop(std::unique_ptr<SpawnedProcess>& process) {
    if (process) {
        process->signal(SIGTERM);
        process->waitExit(kWait);
        process.reset();
    }
}

} // namespace

PrivateLogind::PrivateLogind() {
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
    const bool busUp = waitUntil([this] {
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
    });
    if (!busUp) {
        throw std::runtime_error("the private bus did not start");
    }
    // dbusmock is installed for the system's Python, not for another one
    // that may come first on PATH.
    mock_ = std::make_unique<SpawnedProcess>(
        std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind"},
        std::vector<std::string>{"DBUS_SYSTEM_BUS_ADDRESS=" + address()}, folder_ / "dbusmock.log");
    const bool mockUp = waitUntil([this] {
        if (!mock_->running()) {
            throw std::runtime_error("dbusmock ended: " + readFile(folder_ / "dbusmock.log"));
        }
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        int owned = 0;
        const int result =
            sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", &error, &reply, "s", "org.freedesktop.login1");
        if (result >= 0) {
            sd_bus_message_read(reply, "b", &owned);
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return owned != 0;
    });
    if (!mockUp) {
        throw std::runtime_error("the logind mock did not start: " + readFile(folder_ / "dbusmock.log"));
    }
}

PrivateLogind::~PrivateLogind() {
    sd_bus_flush_close_unref(bus_);
    stop(mock_);
    stop(daemon_);
}

std::string PrivateLogind::address() const {
    return "unix:path=" + (folder_ / "bus").string();
}

void PrivateLogind::call(const char* path, const char* method, const char* types, ...) {
    sd_bus_message* message = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int result =
        sd_bus_message_new_method_call(bus_, &message, "org.freedesktop.login1", path, mockInterface, method);
    if (result >= 0) {
        va_list args;
        va_start(args, types);
        result = sd_bus_message_appendv(message, types, args);
        va_end(args);
    }
    if (result >= 0) {
        result = sd_bus_call(bus_, message, 0, &error, nullptr);
    }
    const std::string text = error.message ? error.message : std::strerror(-result);
    sd_bus_error_free(&error);
    sd_bus_message_unref(message);
    if (result < 0) {
        throw std::runtime_error(std::string("logind mock ") + method + ": " + text);
    }
}

void PrivateLogind::addSession(const std::string& id, bool active) {
    call(managerPath, "AddSession", "ssusb", id.c_str(), "seat0", static_cast<std::uint32_t>(::getuid()),
         "tester", static_cast<int>(active));
}

void PrivateLogind::setSessionActive(const std::string& id, bool active) {
    const std::string path = std::string(managerPath) + "/session/" + id;
    call(path.c_str(), "UpdateProperties", "sa{sv}", "org.freedesktop.login1.Session", 1, "Active", "b",
         static_cast<int>(active));
}

void PrivateLogind::prepareForSleep(bool sleeping) {
    call(managerPath, "EmitSignal", "sssav", "org.freedesktop.login1.Manager", "PrepareForSleep", "b", 1, "b",
         static_cast<int>(sleeping));
}

} // namespace obx::test

namespace obx::test {

int PrivateLogind::sleepDelayLocks() {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int result = sd_bus_call_method(bus_, "org.freedesktop.login1", managerPath,
                                    "org.freedesktop.login1.Manager", "ListInhibitors", &error, &reply, "");
    const std::string text = error.message ? error.message : std::strerror(-result);
    sd_bus_error_free(&error);
    if (result < 0) {
        throw std::runtime_error("logind mock ListInhibitors: " + text);
    }
    int count = 0;
    sd_bus_message_enter_container(reply, 'a', "(ssssuu)");
    const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
    std::uint32_t uid = 0, pid = 0;
    while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0) {
        count += std::strcmp(what, "sleep") == 0 && std::strcmp(mode, "delay") == 0 ? 1 : 0;
    }
    sd_bus_message_unref(reply);
    return count;
}

} // namespace obx::test
