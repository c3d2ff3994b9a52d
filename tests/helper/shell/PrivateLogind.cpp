#include "PrivateLogind.h"

#include <cstdint>
#include <cstring>
#include <unistd.h>

namespace obx::test {

namespace {

constexpr const char* mockInterface = "org.freedesktop.DBus.Mock";
constexpr const char* managerPath = "/org/freedesktop/login1";

} // namespace

PrivateLogind::PrivateLogind() : bus_(PrivateBus::Kind::system, "logind", "org.freedesktop.login1") {}

void PrivateLogind::addSession(const std::string& id, bool active, uid_t user) {
    bus_.call(managerPath, mockInterface, "AddSession", nullptr, "ssusb", id.c_str(), "seat0",
              static_cast<std::uint32_t>(user), "tester", static_cast<int>(active));
}

void PrivateLogind::setSessionActive(const std::string& id, bool active) {
    const std::string path = std::string(managerPath) + "/session/" + id;
    bus_.call(path.c_str(), mockInterface, "UpdateProperties", nullptr, "sa{sv}",
              "org.freedesktop.login1.Session", 1, "Active", "b", static_cast<int>(active));
}

void PrivateLogind::prepareForSleep(bool sleeping) {
    bus_.call(managerPath, mockInterface, "EmitSignal", nullptr, "sssav", "org.freedesktop.login1.Manager",
              "PrepareForSleep", "b", 1, "b", static_cast<int>(sleeping));
}

int PrivateLogind::sleepDelayLocks() {
    sd_bus_message* reply = nullptr;
    bus_.call(managerPath, "org.freedesktop.login1.Manager", "ListInhibitors", &reply, "");
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
