#include "PrivateLogind.h"

#include <unistd.h>

namespace obx::test {

namespace {

constexpr const char* mockInterface = "org.freedesktop.DBus.Mock";
constexpr const char* managerPath = "/org/freedesktop/login1";

} // namespace

PrivateLogind::PrivateLogind() : bus_(PrivateBus::Kind::system, "logind", "org.freedesktop.login1") {}

void PrivateLogind::addSession(const std::string& id, bool active) {
    bus_.call(managerPath, mockInterface, "AddSession", nullptr, "ssusb", id.c_str(), "seat0",
              static_cast<std::uint32_t>(::getuid()), "tester", static_cast<int>(active));
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

} // namespace obx::test
