#include "platform/linux/gnome/ExtensionNotice.h"

#include "base/Log.h"
#include "platform/linux/gnome/GSettingsKeys.h"
#include "platform/linux/gnome/ShellBridgeBus.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace obx::gnome {

namespace {

// js/misc/extensionUtils.js: ExtensionState (ENABLED or ACTIVE is 1).
constexpr int stateActive = 1;
constexpr int stateError = 3;
constexpr int stateOutOfDate = 4;
// The Shell's error text comes from the extension's code: a line is enough.
constexpr std::size_t errorLimit = 200;
constexpr const char* product = "The trackball helper's GNOME Shell extension";

struct MessageRelease {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageRelease>;

int shellMajor(sd_bus* bus, const std::string& shell) {
    sd_bus_message* reply = nullptr;
    const char* version = nullptr;
    int major = 0;
    if (sd_bus_get_property(bus, shell.c_str(), "/org/gnome/Shell", "org.gnome.Shell", "ShellVersion",
                            nullptr, &reply, "s") >= 0 &&
        sd_bus_message_read(reply, "v", "s", &version) >= 0) {
        major = std::atoi(version);
    }
    sd_bus_message_unref(reply);
    return major;
}

// Reads "state" (a double) and "error" (a string) of GetExtensionInfo's a{sv}.
bool readInfo(sd_bus_message* reply, ExtensionFacts& facts) {
    if (sd_bus_message_enter_container(reply, 'a', "{sv}") < 0) {
        return false;
    }
    while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(reply, "s", &key) < 0) {
            return false;
        }
        double state = 0;
        const char* error = nullptr;
        if (std::strcmp(key, "state") == 0 && sd_bus_message_read(reply, "v", "d", &state) >= 0) {
            facts.state = static_cast<int>(state);
        } else if (std::strcmp(key, "error") == 0 && sd_bus_message_read(reply, "v", "s", &error) >= 0) {
            facts.error = std::string(error).substr(0, errorLimit);
        } else if (sd_bus_message_skip(reply, "v") < 0) {
            return false;
        }
        if (sd_bus_message_exit_container(reply) < 0) {
            return false;
        }
    }
    return sd_bus_message_exit_container(reply) >= 0;
}

} // namespace

std::string extensionNotice(const ExtensionFacts& facts) {
    if (!facts.shellAnswered) {
        return "GNOME Shell does not answer: programs do not switch profiles and window commands do nothing";
    }
    if (facts.state == stateActive) {
        return std::string(product) +
               " runs but does not answer this helper: it answers only the helper the package installed";
    }
    if (facts.userExtensionsOff) {
        return "GNOME extensions are switched off: turn them on in the Extensions app";
    }
    if (facts.switchedOff) {
        return std::string(product) + " is switched off: turn it on in the Extensions app";
    }
    if (!facts.state) {
        return std::string(product) +
               " is not installed for this GNOME Shell yet: GNOME finds a newly installed extension at the "
               "next sign-in";
    }
    if (facts.state == stateOutOfDate) {
        return std::string(product) + " needs a newer version for GNOME Shell " +
               std::to_string(facts.shellMajor);
    }
    if (facts.state == stateError) {
        return std::string(product) + " failed in GNOME Shell: " + facts.error;
    }
    // Disabled by the Shell although the settings enable it: its lock screen
    // and other session modes run no extensions of users.
    return std::string(product) + " is off while GNOME Shell shows no user session (the screen is locked)";
}

ExtensionFacts extensionFacts(sd_bus* bus, const std::string& shell) {
    ExtensionFacts facts;
    if (shell.empty()) {
        return facts;
    }
    facts.shellMajor = shellMajor(bus, shell);
    const char* uuid = extensionUuidFor(facts.shellMajor);
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, shell.c_str(), "/org/gnome/Shell", "org.gnome.Shell.Extensions",
                           "GetExtensionInfo", nullptr, &reply, "s", uuid) < 0) {
        return facts;
    }
    const Message owned(reply);
    if (!readInfo(reply, facts)) {
        return facts;
    }
    facts.shellAnswered = true;
    try {
        GSettingsKeys settings("org.gnome.shell");
        facts.userExtensionsOff = settings.readBool("disable-user-extensions");
        const auto disabled = settings.readStrings("disabled-extensions");
        const auto enabled = settings.readStrings("enabled-extensions");
        facts.switchedOff = std::find(disabled.begin(), disabled.end(), uuid) != disabled.end() ||
                            std::find(enabled.begin(), enabled.end(), uuid) == enabled.end();
    } catch (const std::exception& error) {
        log(LogLevel::warning, "The GNOME Shell settings cannot be read: ", error.what());
    }
    return facts;
}

} // namespace obx::gnome
