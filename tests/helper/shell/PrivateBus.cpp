#include "PrivateBus.h"

#include "HelperProcess.h"

#include <csignal>
#include <stdexcept>
#include <systemd/sd-bus.h>
#include <vector>

namespace obx::test {

PrivateBus::PrivateBus() {
    const auto config = folder_ / "bus.conf";
    writeFile(config, "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                      "<busconfig>\n"
                      "  <type>session</type>\n"
                      "  <listen>unix:path=" +
                          (folder_ / "bus").string() +
                          "</listen>\n"
                          "  <auth>EXTERNAL</auth>\n"
                          "  <policy context=\"default\">\n"
                          "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                          "    <allow eavesdrop=\"true\"/>\n"
                          "    <allow own=\"*\"/>\n"
                          "  </policy>\n"
                          "</busconfig>\n");
    daemon_ = std::make_unique<SpawnedProcess>(std::vector<std::string>{"/usr/bin/dbus-daemon",
                                                                        "--config-file=" + config.string(),
                                                                        "--nofork", "--nopidfile"},
                                               std::vector<std::string>{}, folder_ / "dbus-daemon.log");
    // The bus is up once a client can say hello to it.
    const bool busUp = waitUntil([this] {
        if (!daemon_->running()) {
            throw std::runtime_error("dbus-daemon ended: " + readFile(folder_ / "dbus-daemon.log"));
        }
        sd_bus* bus = nullptr;
        if (sd_bus_new(&bus) < 0) {
            return false;
        }
        sd_bus_set_address(bus, address().c_str());
        sd_bus_set_bus_client(bus, 1);
        const bool hello = sd_bus_start(bus) >= 0;
        sd_bus_flush_close_unref(bus);
        return hello;
    });
    if (!busUp) {
        throw std::runtime_error("the private bus did not start");
    }
}

PrivateBus::~PrivateBus() {
    daemon_->signal(SIGTERM);
    daemon_->waitExit(kWait);
}

std::string PrivateBus::address() const {
    return "unix:path=" + (folder_ / "bus").string();
}

} // namespace obx::test
