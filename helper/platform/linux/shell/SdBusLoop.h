#pragma once

// An sd-bus connection served by the main thread's poll loop.

#include <poll.h>
#include <systemd/sd-bus.h>

namespace obx::linuxos {

pollfd busDescriptor(sd_bus* bus);
// Milliseconds until the connection has a time-out to handle; -1 for none.
int busTimeoutMs(sd_bus* bus);
// The error's message, or the text of the failed call's result.
const char* busErrorText(const sd_bus_error& error, int result);
// Handles everything queued on the connection; false when it has ended.
bool processBus(sd_bus* bus);

} // namespace obx::linuxos
