#include "ServiceFakes.h"
#include "service/NotifyService.h"

#include <gtest/gtest.h>
#include <thread>

namespace obx::test {
namespace {

using namespace std::chrono_literals;

class NotifySequenceTest : public ::testing::Test {
protected:
    void run() { sequence.run(stop); }
    long checks() const { return std::count(events.begin(), events.end(), "check"); }

    Events events;
    FakeRecord record{events};
    FakeProduct product{events};
    FakeStarter starter{events};
    FakeClock clock;
    RecordingSink sink;
    ServiceLog log{sink};
    NotifySequence sequence{record, product, starter, clock, log};
    StopEvent stop;
};

TEST_F(NotifySequenceTest, NotifiedBeforeEndsAtOnceWithoutCheckingOrShowing) {
    record.isNotified = true;
    run();
    EXPECT_EQ(sink.text(), "Notify thread - previously notified, nothing to do.\n");
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(clock.elapsed, 0ms);
}

TEST_F(NotifySequenceTest, UtilityFoundAtTheFirstCheckEndsAfterOneSecond) {
    product.isInstalled = true;
    run();
    EXPECT_EQ(sink.text(), "Notify thread - Quellane detected, nothing to do.\n");
    EXPECT_EQ(events, Events{"check"});
    EXPECT_EQ(clock.elapsed, 1s);
}

TEST_F(NotifySequenceTest, UtilityFoundLaterStopsChecking) {
    struct LateProduct : ProductCheck {
        bool installed() override { return ++calls == 5; }
        int calls = 0;
    } late;
    NotifySequence lateSequence{record, late, starter, clock, log};
    lateSequence.run(stop);
    EXPECT_EQ(late.calls, 5);
    EXPECT_TRUE(events.empty());
}

TEST_F(NotifySequenceTest, NotFoundForAMinuteRecordsTheTimeThenStartsThePopup) {
    run();
    EXPECT_EQ(checks(), 60);
    EXPECT_EQ(clock.elapsed, 60s);
    ASSERT_GE(events.size(), 2u);
    // Recorded first, so a popup that cannot start is never tried again.
    EXPECT_EQ(events[events.size() - 2], "record " + std::to_string(clock.epochAtStart + 60));
    EXPECT_EQ(events.back(), "start popup");
    EXPECT_EQ(sink.text(), "Notify thread - forking self to show popup.\n");
}

TEST_F(NotifySequenceTest, NobodySignedInStillRecordsAndLogsTheFailedStart) {
    starter.userSignedIn = false;
    run();
    EXPECT_EQ(events[events.size() - 2], "record " + std::to_string(clock.epochAtStart + 60));
    EXPECT_EQ(sink.text(), "Notify thread - forking self to show popup.\n"
                           "Error forking to display product page\n");
}

TEST_F(NotifySequenceTest, AFailedRecordStillStartsThePopupAndLogsNothingVisible) {
    record.writeError = 5;
    run();
    EXPECT_EQ(events.back(), "start popup");
    EXPECT_EQ(sink.text(), "Notify thread - forking self to show popup.\n");
}

TEST_F(NotifySequenceTest, AStopDuringTheMinuteEndsTheWaitAndShowsNothing) {
    struct StoppingProduct : ProductCheck {
        explicit StoppingProduct(StopEvent& stop) : stop(stop) {}
        bool installed() override {
            if (++calls == 3) {
                stop.set();
            }
            return false;
        }
        StopEvent& stop;
        int calls = 0;
    } stopping{stop};
    NotifySequence stoppingSequence{record, stopping, starter, clock, log};
    stoppingSequence.run(stop);
    EXPECT_EQ(stopping.calls, 3);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(sink.text(), "");
}

class RecordingStatus : public ServiceStatusReporter {
public:
    void reportRunning() override { running = true; }
    void reportStopPending() override { stopPending = true; }
    std::atomic<bool> running = false;
    std::atomic<bool> stopPending = false;
};

// Sleeps until the stop, as a long real minute would.
class WaitingClock : public FakeClock {
public:
    bool sleepUnlessStopped(std::chrono::milliseconds, const StopEvent& stop) override {
        stop.wait();
        return true;
    }
};

TEST(NotifyServiceTest, StopEndsTheWaitingNotifyThreadAndRunReturnsZero) {
    Events events;
    FakeRecord record{events};
    FakeProduct product{events};
    FakeStarter starter{events};
    WaitingClock clock;
    RecordingSink sink;
    ServiceLog log{sink};
    NotifySequence sequence{record, product, starter, clock, log};
    RecordingStatus status;
    StopEvent stopEvent;
    NotifyService service{sequence, status, log, stopEvent};

    int exitCode = -1;
    std::thread runner([&] { exitCode = service.run(); });
    while (!status.running) {
        std::this_thread::sleep_for(1ms);
    }
    service.stop();
    runner.join();
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(status.stopPending);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(sink.text(), "Starting Halvex Ombrix service...\nStopping Halvex Ombrix service...\n");
}

TEST(NotifyServiceTest, AFailingSeamIsLoggedAndTheServiceKeepsRunning) {
    struct ThrowingRecord : NotificationRecord {
        bool notified() override { throw std::runtime_error("state unreadable"); }
        int write(std::int64_t) override { return 0; }
    } record;
    Events events;
    FakeProduct product{events};
    FakeStarter starter{events};
    FakeClock clock;
    RecordingSink sink;
    ServiceLog log{sink};
    NotifySequence sequence{record, product, starter, clock, log};
    RecordingStatus status;
    StopEvent stopEvent;
    NotifyService service{sequence, status, log, stopEvent};
    std::thread runner([&] { service.run(); });
    while (sink.text().find("state unreadable") == std::string::npos) {
        std::this_thread::sleep_for(1ms);
    }
    service.stop();
    runner.join();
    EXPECT_EQ(sink.text(), "Starting Halvex Ombrix service...\nNotify thread - state unreadable\n"
                           "Stopping Halvex Ombrix service...\n");
}

} // namespace
} // namespace obx::test
