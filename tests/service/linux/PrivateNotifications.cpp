#include "PrivateNotifications.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace obx::test {

namespace {

constexpr const char* notifications = "org.freedesktop.Notifications";
constexpr const char* notificationsPath = "/org/freedesktop/Notifications";
constexpr const char* mockInterface = "org.freedesktop.DBus.Mock";

void check(int result, const char* what) {
    if (result < 0) {
        throw std::runtime_error(std::string(what) + ": " + std::strerror(-result));
    }
}

// Reads one variant of the expected basic type into value.
template <typename T>
void readVariant(sd_bus_message* message, const char* type, T* value) {
    check(sd_bus_message_enter_container(message, 'v', type), "variant");
    check(sd_bus_message_read_basic(message, type[0], value), "variant value");
    check(sd_bus_message_exit_container(message), "variant end");
}

std::string readStringVariant(sd_bus_message* message) {
    const char* text = nullptr;
    readVariant(message, "s", &text);
    return text;
}

} // namespace

PrivateNotifications::PrivateNotifications()
    : bus_(PrivateBus::Kind::session, "notification_daemon", notifications) {}

std::vector<NotifyCall> PrivateNotifications::notifyCalls() {
    sd_bus_message* reply = nullptr;
    bus_.call(notificationsPath, mockInterface, "GetMethodCalls", &reply, "s", "Notify");
    std::vector<NotifyCall> calls;
    check(sd_bus_message_enter_container(reply, 'a', "(tav)"), "calls");
    while (sd_bus_message_enter_container(reply, 'r', "tav") > 0) {
        std::uint64_t time = 0;
        check(sd_bus_message_read(reply, "t", &time), "time");
        check(sd_bus_message_enter_container(reply, 'a', "v"), "arguments");
        NotifyCall call;
        std::uint32_t replaces = 0;
        call.application = readStringVariant(reply);
        readVariant(reply, "u", &replaces);
        readStringVariant(reply);
        call.summary = readStringVariant(reply);
        call.body = readStringVariant(reply);
        check(sd_bus_message_enter_container(reply, 'v', "as"), "actions");
        char** actions = nullptr;
        check(sd_bus_message_read_strv(reply, &actions), "actions");
        for (char** action = actions; action && *action; ++action) {
            call.actions.emplace_back(*action);
            free(*action);
        }
        free(actions);
        check(sd_bus_message_exit_container(reply), "actions end");
        check(sd_bus_message_skip(reply, "v"), "hints");
        readVariant(reply, "i", &call.timeout);
        check(sd_bus_message_exit_container(reply), "arguments end");
        check(sd_bus_message_exit_container(reply), "call end");
        calls.push_back(std::move(call));
    }
    sd_bus_message_unref(reply);
    return calls;
}

void PrivateNotifications::invokeDefaultAction(std::uint32_t id) {
    bus_.call(notificationsPath, mockInterface, "EmitSignal", nullptr, "sssav", notifications,
              "ActionInvoked", "us", 2, "u", id, "s", "default");
}

} // namespace obx::test
