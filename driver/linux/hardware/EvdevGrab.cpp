#include "EvdevGrab.h"

#include "../Log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>

namespace obx::kernd {

UniqueFd grabEvdevNode(const std::string& devnode) {
    UniqueFd fd(::open(devnode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd && ::ioctl(fd.get(), EVIOCGRAB, 1) != 0)
        fd.reset();
    return fd;
}

void EvdevGrabs::grab(const std::string& devnode) {
    if (std::any_of(nodes_.begin(), nodes_.end(), [&](const Grabbed& g) { return g.devnode == devnode; }))
        return;
    UniqueFd fd = grab_(devnode);
    if (!fd) {
        logf(LogLevel::warning, "%s: cannot be grabbed: %s", devnode.c_str(), std::strerror(errno));
        return;
    }
    logf(LogLevel::debug, "%s: grabbed", devnode.c_str());
    nodes_.push_back(Grabbed{devnode, std::move(fd)});
}

} // namespace obx::kernd
