#pragma once

// Exclusive grabs of the evdev nodes of one HID device, so that the kernel's own mouse input from it
// goes quiet while the daemon drives it. Closing a node releases its grab.

#include "../UniqueFd.h"

#include <functional>
#include <string>
#include <vector>

namespace obx::kernd {

// EVIOCGRAB on the node, open for as long as the grab holds; invalid (errno set) when it cannot be had.
UniqueFd grabEvdevNode(const std::string& devnode);

class EvdevGrabs {
public:
    using Grab = std::function<UniqueFd(const std::string& devnode)>;
    explicit EvdevGrabs(Grab grab) : grab_(std::move(grab)) {}

    // A node that cannot be grabbed is logged and left alone: the trackball still works, but its
    // input then also reaches the system directly.
    void grab(const std::string& devnode);
    size_t count() const { return nodes_.size(); }

private:
    struct Grabbed {
        std::string devnode;
        UniqueFd fd;
    };
    Grab grab_;
    std::vector<Grabbed> nodes_;
};

} // namespace obx::kernd
