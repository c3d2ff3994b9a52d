#include "platform/linux/shell/PollLoop.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace obx::linuxos {

void runPollLoop(std::span<PollSource* const> sources, const std::function<bool()>& running) {
    std::vector<pollfd> fds;
    std::vector<std::size_t> starts(sources.size() + 1);
    while (running()) {
        fds.clear();
        int timeout = -1;
        for (std::size_t i = 0; i < sources.size(); ++i) {
            starts[i] = fds.size();
            sources[i]->addDescriptors(fds);
            const int wanted = sources[i]->timeoutMs();
            if (wanted >= 0) {
                timeout = timeout < 0 ? wanted : std::min(timeout, wanted);
            }
        }
        starts[sources.size()] = fds.size();
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        for (std::size_t i = 0; i < sources.size() && running(); ++i) {
            sources[i]->handle(std::span<const pollfd>(fds).subspan(starts[i], starts[i + 1] - starts[i]));
        }
    }
}

} // namespace obx::linuxos
