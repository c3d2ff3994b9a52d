#pragma once

// The service's one job: shortly after it starts, find out whether the
// configuration utility is installed and, when it is not and the user was
// never told, record the notification and start the popup in the user's
// session. The record is written before the popup starts, so a popup that
// cannot start is not tried again at the next start.

#include "service/Clock.h"
#include "service/ServiceLog.h"

#include <chrono>
#include <cstdint>

namespace obx {

// Where the time of the notification is kept.
class NotificationRecord {
public:
    virtual ~NotificationRecord() = default;
    virtual bool notified() = 0;
    // Answers 0, or the system's error code.
    virtual int write(std::int64_t secondsSinceEpoch) = 0;
};

class ProductCheck {
public:
    virtual ~ProductCheck() = default;
    virtual bool installed() = 0;
};

class PopupStarter {
public:
    virtual ~PopupStarter() = default;
    // Starts this program with "-showpopup" in the signed-in user's session;
    // logs its own failures. Answers whether the program started.
    virtual bool start() = 0;
};

class NotifySequence {
public:
    static constexpr std::chrono::seconds checkPeriod{60};
    static constexpr std::chrono::seconds checkInterval{1};

    NotifySequence(NotificationRecord& record, ProductCheck& product, PopupStarter& starter, Clock& clock,
                   ServiceLog& log)
        : record_(record), product_(product), starter_(starter), clock_(clock), log_(log) {}

    // Runs on the notify thread. A set stop ends the wait between checks,
    // and then nothing is recorded or shown.
    void run(const StopEvent& stop);

private:
    NotificationRecord& record_;
    ProductCheck& product_;
    PopupStarter& starter_;
    Clock& clock_;
    ServiceLog& log_;
};

} // namespace obx
