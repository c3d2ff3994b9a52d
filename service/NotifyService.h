#pragma once

// The service's run and stop, shared by the service and console modes of
// every system: the notify sequence runs on a thread of its own while run
// waits for the stop.

#include "service/Clock.h"
#include "service/NotifySequence.h"
#include "service/ServiceLog.h"

namespace obx {

// Tells the system's service manager how the service is doing; the console
// mode tells nobody.
class ServiceStatusReporter {
public:
    virtual ~ServiceStatusReporter() = default;
    virtual void reportRunning() = 0;
    virtual void reportStopPending() = 0;
};

class NotifyService {
public:
    // stopEvent: the service object's, which its stop sets.
    NotifyService(NotifySequence& sequence, ServiceStatusReporter& status, ServiceLog& log,
                  StopEvent& stopEvent)
        : sequence_(sequence), status_(status), log_(log), stopEvent_(stopEvent) {}

    // Returns once the stop event is set and the notify sequence has ended;
    // the exit code, 0.
    int run();
    // Reports the stop and sets the stop event; from any thread, any number
    // of times.
    void stop();

private:
    NotifySequence& sequence_;
    ServiceStatusReporter& status_;
    ServiceLog& log_;
    StopEvent& stopEvent_;
};

} // namespace obx
