#include "platform/linux/kde/KWinBus.h"

#include "platform/ProgramPath.h"
#include "platform/linux/shell/SdBusLoop.h"

#include <cstdarg>
#include <cstring>
#include <stdexcept>

namespace obx::kde {

namespace {

constexpr std::uint64_t callTimeoutUs = 2'000'000;

} // namespace

BusConnection openSessionBus() {
    sd_bus* bus = nullptr;
    const int result = sd_bus_open_user(&bus);
    if (result < 0) {
        throw std::runtime_error(std::string("no session bus: ") + std::strerror(-result));
    }
    sd_bus_set_method_call_timeout(bus, callTimeoutUs);
    return BusConnection(bus);
}

void callKWin(sd_bus* bus, const char* path, const char* interface, const char* method,
              sd_bus_message** reply, const char* types, ...) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    va_list args;
    va_start(args, types);
    const int result =
        sd_bus_call_methodv(bus, kwinService, path, interface, method, &error, reply, types, args);
    va_end(args);
    if (result < 0) {
        const std::string text =
            std::string("KWin refused ") + method + ": " + linuxos::busErrorText(error, result);
        sd_bus_error_free(&error);
        throw std::runtime_error(text);
    }
}

void KWinScripting::run(const std::filesystem::path& file, const std::string& name) {
    unload(name);
    sd_bus_message* reply = nullptr;
    callKWin(bus_, "/Scripting", "org.kde.kwin.Scripting", "loadScript", &reply, "ss", file.c_str(),
             name.c_str());
    std::int32_t id = -1;
    const int result = sd_bus_message_read(reply, "i", &id);
    sd_bus_message_unref(reply);
    if (result < 0 || id < 0) {
        throw std::runtime_error("KWin did not load the script " + file.string());
    }
    callKWin(bus_, "/Scripting", "org.kde.kwin.Scripting", "start", nullptr, "");
}

void KWinScripting::unload(const std::string& name) {
    callKWin(bus_, "/Scripting", "org.kde.kwin.Scripting", "unloadScript", nullptr, "s", name.c_str());
}

std::filesystem::path kwinScriptFolder() {
    return runningExecutablePath().parent_path() / "kwin";
}

} // namespace obx::kde
