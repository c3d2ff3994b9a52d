#include "platform/linux/shell/BusPeers.h"

#include <cstring>

namespace obx::linuxos {

std::string nameOwner(sd_bus* bus, const char* name) {
    sd_bus_message* reply = nullptr;
    const char* owner = nullptr;
    std::string unique;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetNameOwner", nullptr, &reply, "s", name) >= 0 &&
        sd_bus_message_read(reply, "s", &owner) >= 0 && owner && owner[0] == ':') {
        unique = owner;
    }
    sd_bus_message_unref(reply);
    return unique;
}

bool sentBy(sd_bus_message* message, const std::string& uniqueName) {
    const char* sender = sd_bus_message_get_sender(message);
    return !uniqueName.empty() && sender && uniqueName == sender;
}

} // namespace obx::linuxos
