#pragma once

// Exclusive grabs (EVIOCGRAB) of the evdev nodes of one HID device, so that the kernel's own mouse
// input from it goes quiet while the daemon drives it. Closing a node releases its grab.

#include "../UniqueFd.h"

#include <string>
#include <vector>

namespace obx::kernd {

class EvdevGrabs {
public:
    // A node that cannot be grabbed is logged and left alone: the trackball still works, but its
    // input then also reaches the system directly.
    void grab(const std::string& devnode);
    size_t count() const { return nodes_.size(); }

private:
    struct Grabbed {
        std::string devnode;
        UniqueFd fd;
    };
    std::vector<Grabbed> nodes_;
};

} // namespace obx::kernd
