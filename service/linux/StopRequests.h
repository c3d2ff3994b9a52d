#pragma once

// SIGTERM and SIGINT (Ctrl+C) as a call to stop, made on a thread of its own.
// A handler rather than a blocked mask: the popup that the service starts
// must not inherit blocked termination signals.

#include <functional>
#include <thread>

namespace obx::linuxos {

class StopRequests {
public:
    // One per process. Throws std::system_error.
    explicit StopRequests(std::function<void()> stop);
    // Ends the thread whether or not a signal came.
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

private:
    int pipe_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace obx::linuxos
