#include "service/NotifySequence.h"

namespace obx {

void NotifySequence::run(const StopEvent& stop) {
    if (record_.notified()) {
        log_.write(2, "Notify thread - previously notified, nothing to do.\n");
        return;
    }
    const auto begin = clock_.now();
    while (clock_.now() - begin < checkPeriod) {
        log_.write(1, "Notify thread - sleeping 1 second\n");
        if (clock_.sleepUnlessStopped(checkInterval, stop)) {
            return;
        }
        log_.write(1, "Notify thread - checking for Quellane...\n");
        if (product_.installed()) {
            log_.write(2, "Notify thread - Quellane detected, nothing to do.\n");
            return;
        }
    }
    log_.write(2, "Notify thread - forking self to show popup.\n");
    if (const int error = record_.write(clock_.secondsSinceEpoch())) {
        log_.write(0, "Error setting registry value: %d\n", error);
    }
    log_.write(1, "qldwnldr - forking with -gotoweb argument\n");
    if (!starter_.start()) {
        log_.write(4, "Error forking to display product page\n");
    }
}

} // namespace obx
