#include "service/NotifyService.h"

#include <exception>
#include <thread>

namespace obx {

int NotifyService::run() {
    log_.write(2, "Starting Halvex Ombrix service...\n");
    std::thread notifyThread([this] {
        try {
            sequence_.run(stopEvent_);
        } catch (const std::exception& error) {
            log_.write(4, "Notify thread - %s\n", error.what());
        }
    });
    status_.reportRunning();
    stopEvent_.wait();
    log_.write(2, "Stopping Halvex Ombrix service...\n");
    notifyThread.join();
    return 0;
}

void NotifyService::stop() {
    status_.reportStopPending();
    stopEvent_.set();
}

} // namespace obx
