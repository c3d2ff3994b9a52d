// The user's pointer and keyboard on a headless KWin, which offers clients no
// virtual devices but fake input to a program that its desktop entry
// authorises (X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input).
//
// obx_kwin_fake_input FIFO
//
// Reads commands from the FIFO, one a line, and prints "done N" when KWin
// has handled the Nth:
//   move X Y      the pointer to X, Y of the output
//   click BUTTON  a press and a release of the button (evdev code)
//   key CODE      a press and a release of the key (evdev code)
// Prints "ready" once the device exists, "refused" when KWin offers none.

#include "fake-input-client-protocol.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <wayland-client.h>

namespace {

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t version) {
    if (std::string_view(interface) == org_kde_kwin_fake_input_interface.name) {
        *static_cast<org_kde_kwin_fake_input**>(data) = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, version < 4 ? version : 4));
    }
}
void globalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registryListener{&global, &globalRemove};

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: obx_kwin_fake_input FIFO\n");
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    org_kde_kwin_fake_input* fake = nullptr;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &fake);
    wl_display_roundtrip(display);
    if (!fake || wl_proxy_get_version(reinterpret_cast<wl_proxy*>(fake)) < 4) {
        say("refused");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fake, "obx tests", "plays the user's input");
    wl_display_roundtrip(display);
    say("ready");
    std::ifstream commands(argv[1]);
    int handled = 0;
    for (std::string line; std::getline(commands, line);) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        if (verb == "move") {
            double x = 0, y = 0;
            words >> x >> y;
            org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_double(x),
                                                            wl_fixed_from_double(y));
        } else if (verb == "click" || verb == "key") {
            std::uint32_t code = 0;
            words >> code;
            const auto press =
                verb == "click" ? &org_kde_kwin_fake_input_button : &org_kde_kwin_fake_input_keyboard_key;
            press(fake, code, 1);
            press(fake, code, 0);
        }
        if (wl_display_roundtrip(display) < 0) {
            return 1;
        }
        say("done " + std::to_string(++handled));
    }
    wl_display_disconnect(display);
    return 0;
}
