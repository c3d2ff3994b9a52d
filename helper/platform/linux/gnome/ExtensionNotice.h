#pragma once

// Why our Shell extension does not answer the helper, in words for the user:
// from what GNOME Shell says of the copy for its major (org.gnome.Shell.
// Extensions GetExtensionInfo: its state and error) and the user's settings
// (disable-user-extensions, disabled-extensions, enabled-extensions). The
// focus watch asks whenever the bridge is away and shows the answer as the
// "gnome" status notice, which the configuration page lists.

#include <optional>
#include <string>
#include <systemd/sd-bus.h>

namespace obx::gnome {

struct ExtensionFacts {
    bool shellAnswered = false; // GNOME Shell told of the extension
    int shellMajor = 0;
    std::optional<int> state; // the Shell's state of the copy; empty when it does not know it
    std::string error;        // the Shell's error for the copy
    bool userExtensionsOff = false;
    bool switchedOff = false; // the user's settings keep the copy off
};

// The notice's text; empty when nothing keeps the extension from running.
std::string extensionNotice(const ExtensionFacts& facts);

// Asks the Shell at the unique name (empty: the Shell is not on the bus) on
// the connection, within its method timeout, and reads the user's settings.
ExtensionFacts extensionFacts(sd_bus* bus, const std::string& shell);

} // namespace obx::gnome
