#include "EwmhWindowManager.h"

#include "X11Probe.h"
#include "platform/linux/x11/XProperties.h"

#include <X11/Xatom.h>

namespace obx::x11::test {

namespace {
// Set on the root by the command that the manager runs once its start-up is
// complete.
constexpr const char* readyProperty = "OBX_TEST_WM_READY";
} // namespace

EwmhWindowManager::EwmhWindowManager(const std::string& displayName)
    : process_({"/usr/bin/openbox", "--sm-disable", "--config-file", "/etc/xdg/openbox/rc.xml", "--startup",
                std::string("xprop -root -f ") + readyProperty + " 32c -set " + readyProperty + " 1"},
               {"DISPLAY=" + displayName}) {}

bool EwmhWindowManager::waitUntilRunning(Display* display) const {
    const Atom ready = XInternAtom(display, readyProperty, False);
    return process_.started() && waitFor([&] {
               return !readListProperty(display, DefaultRootWindow(display), ready, XA_CARDINAL).empty();
           });
}

} // namespace obx::x11::test
