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
    if (sd_bus_new(&bus_) < 0 || sd_bus_set_address(bus_, address().c_str()) < 0 ||
        sd_bus_set_bus_client(bus_, 1) < 0 || sd_bus_start(bus_) < 0) {
        throw std::runtime_error("cannot connect to the private bus");
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
}

std::string PrivateLogind::address() const {
    return privateBus_.address();
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
