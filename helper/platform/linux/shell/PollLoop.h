#pragma once

// The main thread's loop: one poll over the descriptors of every source, then
// each source handles what became ready on its own descriptors.

#include <functional>
#include <poll.h>
#include <span>
#include <vector>

namespace obx::linuxos {

class PollSource {
public:
    virtual ~PollSource() = default;
    // Appends the descriptors to watch in the next round.
    virtual void addDescriptors(std::vector<pollfd>& fds) = 0;
    // Milliseconds until the source needs a call without any readiness; -1
    // when it does not.
    virtual int timeoutMs() { return -1; }
    // Called every round with the source's own entries, readiness filled in.
    virtual void handle(std::span<const pollfd> fds) = 0;
};

// Rounds until running() answers false; throws std::system_error when poll
// fails.
void runPollLoop(std::span<PollSource* const> sources, const std::function<bool()>& running);

} // namespace obx::linuxos
