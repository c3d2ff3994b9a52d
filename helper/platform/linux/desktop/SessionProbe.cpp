#include "platform/linux/desktop/SessionProbe.h"

#include "platform/linux/shell/LinuxShellPlatform.h"
#include "platform/linux/wayland/BoundedRoundtrip.h"

#include <cstdlib>
#include <string_view>
#include <systemd/sd-bus.h>
#include <wayland-client.h>

namespace obx::linuxos {

namespace {

constexpr std::uint64_t busTimeoutMicroseconds = 1'000'000;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

struct GlobalSearch {
    std::string_view interface;
    bool found = false;
};

void global(void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
    auto* search = static_cast<GlobalSearch*>(data);
    search->found = search->found || search->interface == interface;
}
void globalRemove(void*, wl_registry*, std::uint32_t) {}
constexpr wl_registry_listener searchListener{&global, &globalRemove};

// Whether the compositor on the display offers the global interface.
bool compositorOffers(const std::string& display, std::string_view interface) {
    wl_display* connection = wl_display_connect(display.empty() ? nullptr : display.c_str());
    if (!connection) {
        return false;
    }
    GlobalSearch search{interface};
    wl_registry* registry = wl_display_get_registry(connection);
    wl_registry_add_listener(registry, &searchListener, &search);
    const bool answered = wayland::boundedRoundtrip(connection, std::chrono::seconds(2));
    wl_registry_destroy(registry);
    wl_display_disconnect(connection);
    return answered && search.found;
}

class SessionBus {
public:
    SessionBus() {
        if (sd_bus_open_user(&bus_) < 0) {
            bus_ = nullptr;
        } else {
            sd_bus_set_method_call_timeout(bus_, busTimeoutMicroseconds);
        }
    }
    ~SessionBus() { sd_bus_flush_close_unref(bus_); }
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    bool owned(const char* name) const {
        if (!bus_) {
            return false;
        }
        sd_bus_message* reply = nullptr;
        int has = 0;
        const bool asked =
            sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", nullptr, &reply, "s", name) >= 0 &&
            sd_bus_message_read(reply, "b", &has) >= 0;
        sd_bus_message_unref(reply);
        return asked && has;
    }

private:
    sd_bus* bus_ = nullptr;
};

} // namespace

SessionFacts probeSession() {
    SessionFacts facts;
    facts.sessionType = environment("XDG_SESSION_TYPE");
    facts.waylandDisplay = environment("WAYLAND_DISPLAY");
    facts.x11Display = environment("DISPLAY");
    facts.x11Answers = desktopDisplayAvailable();
    if (!facts.waylandDisplay.empty()) {
        const SessionBus bus;
        facts.gnomeShell = bus.owned("org.gnome.Shell");
        facts.kwin = bus.owned("org.kde.KWin");
        facts.foreignToplevels = compositorOffers(facts.waylandDisplay, "zwlr_foreign_toplevel_manager_v1");
    }
    return facts;
}

} // namespace obx::linuxos
