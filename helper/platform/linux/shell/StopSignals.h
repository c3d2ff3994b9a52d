#pragma once

// SIGTERM and SIGINT as a readable descriptor for the main loop. A handler
// rather than a blocked mask with signalfd: programs the helper starts must
// not inherit blocked termination signals.

#include "platform/linux/shell/PollLoop.h"

namespace obx::linuxos {

class StopSignals : public PollSource {
public:
    // One per process. Throws std::system_error.
    StopSignals();
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool received() const { return received_; }

    void addDescriptors(std::vector<pollfd>& fds) override;
    void handle(std::span<const pollfd> fds) override;

private:
    bool received_ = false;
};

} // namespace obx::linuxos
