#pragma once

// Stand-ins for the service's seams: a clock whose time passes only when the
// logic sleeps, and recorders of what the logic asked of the system.

#include "service/Clock.h"
#include "service/NotifySequence.h"
#include "service/ServiceLog.h"

#include <mutex>
#include <string>
#include <vector>

namespace obx::test {

class FakeClock : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override { return start_ + elapsed; }
    std::int64_t secondsSinceEpoch() const override {
        return epochAtStart + std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    }
    bool sleepUnlessStopped(std::chrono::milliseconds duration, const StopEvent& stop) override {
        if (stop.isSet()) {
            return true;
        }
        elapsed += duration;
        ++sleeps;
        return stop.isSet();
    }

    std::chrono::milliseconds elapsed{0};
    std::int64_t epochAtStart = 1'700'000'000;
    int sleeps = 0;

private:
    std::chrono::steady_clock::time_point start_{std::chrono::hours(1000)};
};

class RecordingSink : public ServiceLogSink {
public:
    void write(std::string_view text) override {
        std::lock_guard lock(mutex_);
        text_ += text;
    }
    std::string text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

// One list of what the seams were asked, in order.
using Events = std::vector<std::string>;

class FakeRecord : public NotificationRecord {
public:
    explicit FakeRecord(Events& events) : events_(events) {}
    bool notified() override { return isNotified; }
    int write(std::int64_t seconds) override {
        events_.push_back("record " + std::to_string(seconds));
        return writeError;
    }
    bool isNotified = false;
    int writeError = 0;

private:
    Events& events_;
};

class FakeProduct : public ProductCheck {
public:
    explicit FakeProduct(Events& events) : events_(events) {}
    bool installed() override {
        events_.push_back("check");
        return isInstalled;
    }
    bool isInstalled = false;

private:
    Events& events_;
};

class FakeStarter : public PopupStarter {
public:
    explicit FakeStarter(Events& events) : events_(events) {}
    bool start() override {
        events_.push_back("start popup");
        return userSignedIn;
    }
    bool userSignedIn = true;

private:
    Events& events_;
};

} // namespace obx::test
