#include "platform/linux/gnome/ShellBridgeCalls.h"

#include "platform/linux/shell/BusPeers.h"

#include <memory>
#include <stdexcept>

namespace obx::gnome {

namespace {

struct MessageRelease {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageRelease>;

int noArguments(sd_bus_message*) {
    return 0;
}

template <typename Value>
Value read(const Message& reply, const char* signature, const char* what) {
    Value value{};
    if (sd_bus_message_read(reply.get(), signature, &value) < 0) {
        throw std::runtime_error(std::string("GNOME Shell's bridge extension answered ") + what +
                                 " in another form");
    }
    return value;
}

} // namespace

ShellBridgeCalls::~ShellBridgeCalls() {
    sd_bus_flush_close_unref(bus_);
}

sd_bus_message* ShellBridgeCalls::call(const char* path, const char* interface, const char* method,
                                       const Arguments& arguments) {
    if (!bus_) {
        if (sd_bus_open_user(&bus_) < 0) {
            bus_ = nullptr;
            throw std::runtime_error("no session bus to reach GNOME Shell on");
        }
        sd_bus_set_method_call_timeout(bus_, static_cast<std::uint64_t>(timeout_.count()) * 1000u);
    }
    // A Shell that restarted is looked up once more.
    bool shellGone = false;
    sd_bus_message* reply = tryCall(path, interface, method, arguments, shellGone);
    if (!reply && shellGone) {
        reply = tryCall(path, interface, method, arguments, shellGone);
    }
    if (!reply) {
        throw std::runtime_error("GNOME Shell's bridge extension does not answer");
    }
    return reply;
}

sd_bus_message* ShellBridgeCalls::tryCall(const char* path, const char* interface, const char* method,
                                          const Arguments& arguments, bool& shellGone) {
    if (shell_.empty()) {
        shell_ = linuxos::nameOwner(bus_, shellBusName);
        if (shell_.empty()) {
            return nullptr;
        }
    }
    sd_bus_message* request = nullptr;
    if (sd_bus_message_new_method_call(bus_, &request, shell_.c_str(), path, interface, method) < 0) {
        throw std::runtime_error("cannot make a call to GNOME Shell's bridge extension");
    }
    const Message owned(request);
    if (arguments(request) < 0) {
        throw std::runtime_error("cannot make a call to GNOME Shell's bridge extension");
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int result =
        sd_bus_call(bus_, request, static_cast<std::uint64_t>(timeout_.count()) * 1000u, &error, &reply);
    shellGone = sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
                sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
    const bool connectionLost = result < 0 && !sd_bus_error_is_set(&error);
    sd_bus_error_free(&error);
    if (result >= 0) {
        return reply;
    }
    if (shellGone) {
        shell_.clear();
    }
    if (connectionLost) {
        shell_.clear();
        bus_ = sd_bus_flush_close_unref(bus_);
    }
    return nullptr;
}

bool ShellBridgeCalls::runWindowCommand(const std::string& command) {
    return textCall("RunWindowCommand", command);
}

void ShellBridgeCalls::keysym(std::uint32_t keysym, bool pressed) {
    const std::lock_guard lock(mutex_);
    const Message reply(call("PressKeysym", [&](sd_bus_message* request) {
        return sd_bus_message_append(request, "ub", keysym, static_cast<int>(pressed));
    }));
}

bool ShellBridgeCalls::button(std::uint32_t code, bool pressed) {
    const std::lock_guard lock(mutex_);
    const Message reply(call("PressButton", [&](sd_bus_message* request) {
        return sd_bus_message_append(request, "ub", code, static_cast<int>(pressed));
    }));
    return read<int>(reply, "b", "a button") != 0;
}

std::uint32_t ShellBridgeCalls::modifierMask() {
    const std::lock_guard lock(mutex_);
    const Message reply(call("GetModifiers", noArguments));
    return read<std::uint32_t>(reply, "u", "the modifiers");
}

bool ShellBridgeCalls::commitText(const std::string& text) {
    return textCall("CommitText", text);
}

bool ShellBridgeCalls::offerClipboardText(const std::string& text) {
    return textCall("OfferClipboardText", text);
}

bool ShellBridgeCalls::textCall(const char* method, const std::string& text) {
    const std::lock_guard lock(mutex_);
    const Message reply(call(
        method, [&](sd_bus_message* request) { return sd_bus_message_append(request, "s", text.c_str()); }));
    return read<int>(reply, "b", method) != 0;
}

int ShellBridgeCalls::showSnippetMenu(const std::string& title, const std::vector<std::string>& captions) {
    const std::lock_guard lock(mutex_);
    const Message reply(call("ShowSnippetMenu", [&](sd_bus_message* request) {
        int result = sd_bus_message_append(request, "s", title.c_str());
        if (result >= 0) {
            result = sd_bus_message_open_container(request, 'a', "s");
        }
        for (const auto& caption : captions) {
            if (result >= 0) {
                result = sd_bus_message_append(request, "s", caption.c_str());
            }
        }
        return result >= 0 ? sd_bus_message_close_container(request) : result;
    }));
    return read<std::int32_t>(reply, "i", "the snippet menu");
}

} // namespace obx::gnome
