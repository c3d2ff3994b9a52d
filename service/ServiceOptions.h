#pragma once

// The program's command line: which of its modes to run.

#include <string>
#include <vector>

namespace obx {

enum class ServiceMode {
    service,   // started by the system's service manager
    console,   // the service logic in a console, ended by Ctrl+C
    goToWeb,   // open the product page in the user's session
    showPopup, // show the download invitation in the user's session
};

// arguments: the command line without the program's own path. An argument is
// an option when it starts with "-" or "/"; names compare A to Z without
// regard to case. The first "gotoweb" or "showpopup" decides; "debug" counts
// only without them; everything else is ignored.
ServiceMode parseServiceMode(const std::vector<std::string>& arguments);

} // namespace obx
