#include "platform/linux/gnome/ShellBridgeCalls.h"

#include "platform/linux/gnome/ShellBridgeBus.h"

#include <memory>
#include <stdexcept>

namespace obx::gnome {

namespace {

struct MessageRelease {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Reply = std::unique_ptr<sd_bus_message, MessageRelease>;

} // namespace

ShellBridgeCalls::~ShellBridgeCalls() {
    sd_bus_flush_close_unref(bus_);
}

sd_bus_message* ShellBridgeCalls::call(const char* method, const char* signature, const char* argument) {
    if (!bus_) {
        if (sd_bus_open_user(&bus_) < 0) {
            bus_ = nullptr;
            throw std::runtime_error("no session bus to reach GNOME Shell on");
        }
        sd_bus_set_method_call_timeout(bus_, static_cast<std::uint64_t>(timeout_.count()) * 1000u);
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int result = argument ? sd_bus_call_method(bus_, bridgeBusName, bridgeObjectPath, bridgeInterface,
                                                     method, &error, &reply, signature, argument)
                                : sd_bus_call_method(bus_, bridgeBusName, bridgeObjectPath, bridgeInterface,
                                                     method, &error, &reply, signature);
    const bool connectionLost = result < 0 && !sd_bus_error_is_set(&error);
    sd_bus_error_free(&error);
    if (result < 0) {
        if (connectionLost) {
            sd_bus_flush_close_unref(bus_);
            bus_ = nullptr;
        }
        throw std::runtime_error("GNOME Shell's bridge extension does not answer");
    }
    return reply;
}

bool ShellBridgeCalls::runWindowCommand(const std::string& command) {
    const std::lock_guard lock(mutex_);
    const Reply reply(call("RunWindowCommand", "s", command.c_str()));
    int done = 0;
    if (sd_bus_message_read(reply.get(), "b", &done) < 0) {
        throw std::runtime_error("GNOME Shell's bridge extension answered a window command in another form");
    }
    return done != 0;
}

std::uint32_t ShellBridgeCalls::modifierMask() {
    const std::lock_guard lock(mutex_);
    const Reply reply(call("GetModifiers", "", nullptr));
    std::uint32_t mask = 0;
    if (sd_bus_message_read(reply.get(), "u", &mask) < 0) {
        throw std::runtime_error("GNOME Shell's bridge extension answered the modifiers in another form");
    }
    return mask;
}

} // namespace obx::gnome
