#include "PrivateNotifications.h"

#include <csignal>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace obx::test {

namespace {

constexpr const char* notifications = "org.freedesktop.Notifications";
constexpr const char* notificationsPath = "/org/freedesktop/Notifications";
constexpr const char* mockInterface = "org.freedesktop.DBus.Mock";

void stop(std::unique_ptr<SpawnedProcess>& process) {
    if (process) {
        process->signal(SIGTERM);
        process->waitExit(kServiceWait);
        process.reset();
    }
}

void check(int result, const sd_bus_error& error, const char* what) {
    if (result < 0) {
        throw std::runtime_error(std::string(what) + ": " +
                                 (error.message ? error.message : std::strerror(-result)));
    }
}

// Reads one variant of the expected basic type into value.
template <typename T>
void readVariant(sd_bus_message* message, const char* type, T* value) {
    sd_bus_error none = SD_BUS_ERROR_NULL;
    check(sd_bus_message_enter_container(message, 'v', type), none, "variant");
    check(sd_bus_message_read_basic(message, type[0], value), none, "variant value");
    check(sd_bus_message_exit_container(message), none, "variant end");
}

std::string readStringVariant(sd_bus_message* message) {
    const char* text = nullptr;
    readVariant(message, "s", &text);
    return text;
}

} // namespace

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

PrivateNotifications::PrivateNotifications() {
    daemon_ = std::make_unique<SpawnedProcess>(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session",
                                                                        "--nofork", "--nopidfile",
                                                                        "--address=" + address()},
                                               std::vector<std::string>{}, folder_ / "dbus-daemon.log");
    const bool busUp = eventually([this] {
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
        std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--session", "--template",
                                 "notification_daemon"},
        std::vector<std::string>{"DBUS_SESSION_BUS_ADDRESS=" + address()}, folder_ / "dbusmock.log");
    const bool mockUp = eventually([this] {
        if (!mock_->running()) {
            throw std::runtime_error("dbusmock ended: " + readFile(folder_ / "dbusmock.log"));
        }
        sd_bus_message* reply = nullptr;
        int owned = 0;
        if (sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", nullptr, &reply, "s", notifications) >= 0) {
            sd_bus_message_read(reply, "b", &owned);
        }
        sd_bus_message_unref(reply);
        return owned != 0;
    });
    if (!mockUp) {
        throw std::runtime_error("the notification mock did not start: " +
                                 readFile(folder_ / "dbusmock.log"));
    }
}

PrivateNotifications::~PrivateNotifications() {
    sd_bus_flush_close_unref(bus_);
    stop(mock_);
    stop(daemon_);
}

std::string PrivateNotifications::address() const {
    return "unix:path=" + (folder_ / "bus").string();
}

std::vector<NotifyCall> PrivateNotifications::notifyCalls() {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    check(sd_bus_call_method(bus_, notifications, notificationsPath, mockInterface, "GetMethodCalls", &error,
                             &reply, "s", "Notify"),
          error, "GetMethodCalls");
    std::vector<NotifyCall> calls;
    check(sd_bus_message_enter_container(reply, 'a', "(tav)"), error, "calls");
    while (sd_bus_message_enter_container(reply, 'r', "tav") > 0) {
        std::uint64_t time = 0;
        check(sd_bus_message_read(reply, "t", &time), error, "time");
        check(sd_bus_message_enter_container(reply, 'a', "v"), error, "arguments");
        NotifyCall call;
        std::uint32_t replaces = 0;
        call.application = readStringVariant(reply);
        readVariant(reply, "u", &replaces);
        readStringVariant(reply);
        call.summary = readStringVariant(reply);
        call.body = readStringVariant(reply);
        check(sd_bus_message_enter_container(reply, 'v', "as"), error, "actions");
        char** actions = nullptr;
        check(sd_bus_message_read_strv(reply, &actions), error, "actions");
        for (char** action = actions; action && *action; ++action) {
            call.actions.emplace_back(*action);
            free(*action);
        }
        free(actions);
        check(sd_bus_message_exit_container(reply), error, "actions end");
        check(sd_bus_message_skip(reply, "v"), error, "hints");
        readVariant(reply, "i", &call.timeout);
        check(sd_bus_message_exit_container(reply), error, "arguments end");
        check(sd_bus_message_exit_container(reply), error, "call end");
        calls.push_back(std::move(call));
    }
    sd_bus_message_unref(reply);
    return calls;
}

void PrivateNotifications::invokeDefaultAction(std::uint32_t id) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int result = sd_bus_call_method(bus_, notifications, notificationsPath, mockInterface, "EmitSignal",
                                          &error, nullptr, "sssav", notifications, "ActionInvoked", "us", 2,
                                          "u", id, "s", "default");
    const std::string text = error.message ? error.message : "";
    sd_bus_error_free(&error);
    if (result < 0) {
        throw std::runtime_error("EmitSignal: " + text);
    }
}

} // namespace obx::test
