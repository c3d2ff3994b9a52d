#pragma once

// Who is at the other end of the session bus. Any program of the user may
// take a well-known name that its desktop does not hold at the moment (during
// a restart, or while an extension is off) or send signals in its name, so
// the helper addresses a desktop's objects on the connection that owns the
// desktop's own name, and takes signals only from that connection.

#include <string>
#include <systemd/sd-bus.h>

namespace obx::linuxos {

// The unique name of the name's owner now; empty when it has none or the bus
// does not answer within the connection's method timeout.
std::string nameOwner(sd_bus* bus, const char* name);
// Whether the message came from the connection of this unique name.
bool sentBy(sd_bus_message* message, const std::string& uniqueName);

} // namespace obx::linuxos
