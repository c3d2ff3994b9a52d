#include "XvfbServer.h"

namespace obx::x11::test {

XvfbServer::XvfbServer()
    : process_({"/usr/bin/Xvfb", "-displayfd", "{report}", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                "-noreset"}) {
    if (!process_.report().empty()) {
        displayName_ = ":" + process_.report();
    }
}

} // namespace obx::x11::test
