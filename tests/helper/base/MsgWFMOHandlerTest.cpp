#include "base/MsgWFMOHandler.h"

#include "base/LogCapture.h"
#include "support/ErrorText.h"
#include "support/ScriptedWaitPrimitive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace obx {
namespace {

using test::ScriptedWaitPrimitive;
using ::testing::ElementsAre;

// A worker whose hooks and window procedure write what happened into one
// journal; handlers write into the same journal.
class JournalWorker : public MsgWFMOHandler {
public:
    explicit JournalWorker(ScriptedWaitPrimitive* waits)
        : MsgWFMOHandler(std::unique_ptr<IWaitPrimitive>(waits)), waits_(*waits) {}

    void onThreadStart() override {
        journal.push_back("start");
        if (failStart) {
            throw std::runtime_error("no start");
        }
    }
    void onThreadExit(bool graceful) override { journal.push_back(graceful ? "exit YES" : "exit NO"); }
    void onWaitHandlerRemoved(WaitHandle handle) override {
        journal.push_back("removed " + std::to_string(handle));
    }
    void dispatchMessage(const WorkerMessage& message) override {
        journal.push_back("message " + message.text);
        if (onMessage) {
            onMessage();
        }
    }
    void mark(const std::string& text) {
        waits_.thenDo([this, text] { journal.push_back(text); });
    }

    std::vector<std::string> journal;
    bool failStart = false;
    std::function<void()> onMessage;

private:
    ScriptedWaitPrimitive& waits_;
};

// One registered callback: clears its event, as a real completion handler
// consumes what signalled it, and notes its name.
class Callback {
public:
    Callback(JournalWorker& worker, ScriptedWaitPrimitive& waits, std::string name)
        : worker_(worker), waits_(waits), name_(std::move(name)), event(waits.createEvent()) {}
    void fire() {
        waits_.resetEvent(event);
        worker_.journal.push_back(name_);
    }
    void failWithMessage() { throw std::runtime_error("boom"); }
    void failWithoutMessage() { throw 42; }
    void registerWith(JournalWorker& worker) { worker.addWaitHandler(event, this, &Callback::fire); }

private:
    JournalWorker& worker_;
    ScriptedWaitPrimitive& waits_;
    std::string name_;

public:
    const WaitHandle event;
};

class WorkerTest : public ::testing::Test {
protected:
    ScriptedWaitPrimitive* waits = new ScriptedWaitPrimitive;
    JournalWorker worker{waits};
    Callback a{worker, *waits, "A"};
    Callback b{worker, *waits, "B"};
    LogCapture log;

    void signal(std::initializer_list<WaitHandle> handles) {
        waits->thenDo([this, handles] {
            for (auto handle : handles) {
                waits->setEvent(handle);
            }
        });
    }
};

TEST_F(WorkerTest, StopWinsOverASignalledHandlerAndEndsGracefully) {
    a.registerWith(worker);
    signal({a.event, /*stop event*/ 100});
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "exit YES"));
    EXPECT_TRUE(
        log.contains(LogLevel::info, "MsgWFMOHandler worker thread terminated, graceful termination: YES"));
}

TEST_F(WorkerTest, HandlersRunInRegistrationOrderOnePerPass) {
    a.registerWith(worker);
    b.registerWith(worker);
    signal({b.event, a.event});
    worker.mark("next pass");
    worker.mark("next pass");
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "A", "next pass", "B", "next pass", "exit YES"));
}

TEST_F(WorkerTest, TheWaitCoversStopChangeAndHandlersFromTheFirstRebuild) {
    a.registerWith(worker);
    b.registerWith(worker);
    worker.run();
    ASSERT_FALSE(waits->waited.empty());
    EXPECT_THAT(waits->waited.front(), ElementsAre(100, 101, a.event, b.event));
}

TEST_F(WorkerTest, AHandlerRemovedBeforeTheRebuildIsDeletedWithoutRunning) {
    waits->thenDo([this] {
        a.registerWith(worker);
        waits->setEvent(a.event);
        worker.removeWaitHandler(a.event);
    });
    worker.mark("after");
    worker.run();
    EXPECT_THAT(worker.journal,
                ElementsAre("start", "removed " + std::to_string(a.event), "after", "exit YES"));
    for (auto& array : waits->waited) {
        EXPECT_THAT(array, ElementsAre(100, 101));
    }
}

TEST_F(WorkerTest, AHandlerReportedAfterItsRemovalIsSkipped) {
    a.registerWith(worker);
    waits->then([this]() -> std::optional<WaitResult> {
        waits->setEvent(a.event);
        worker.removeWaitHandler(a.event);
        // The system reported the handle before the removal took the lock.
        return WaitResult{WaitResult::Kind::signalled, 2};
    });
    worker.mark("next pass");
    worker.run();
    EXPECT_THAT(worker.journal,
                ElementsAre("start", "next pass", "removed " + std::to_string(a.event), "exit YES"));
}

TEST_F(WorkerTest, SixtyTwoActiveHandlersFillTheWorkerUntilOneIsRemoved) {
    for (int i = 0; i < 62; ++i) {
        worker.addWaitHandler(1000 + i, &a, &Callback::fire);
    }
    EXPECT_FALSE(worker.hasFreeWaitSlot());
    EXPECT_EQ(test::errorText([&] { worker.addWaitHandler(2000, &a, &Callback::fire); }),
              "Error binding overlapped io with completion handler");
    worker.removeWaitHandler(1005);
    EXPECT_TRUE(worker.hasFreeWaitSlot());
    worker.addWaitHandler(2000, &b, &Callback::fire);
    EXPECT_FALSE(worker.hasFreeWaitSlot());
}

TEST_F(WorkerTest, RemovalFlagsOnlyTheFirstOfTwoHandlersOfOneHandle) {
    worker.addWaitHandler(a.event, &a, &Callback::fire);
    worker.addWaitHandler(a.event, &b, &Callback::fire);
    waits->thenDo([this] { worker.removeWaitHandler(a.event); });
    signal({a.event});
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "removed " + std::to_string(a.event), "B", "exit YES"));
}

TEST_F(WorkerTest, AReusedHandleRemovedAgainInOnePassFlagsTheNewHandler) {
    // Departure, arrival on the same descriptor and departure, before the rebuild runs.
    waits->thenDo([this] {
        worker.addWaitHandler(a.event, &a, &Callback::fire);
        worker.removeWaitHandler(a.event);
        worker.addWaitHandler(a.event, &b, &Callback::fire);
        worker.removeWaitHandler(a.event);
        waits->setEvent(a.event);
    });
    worker.mark("after");
    worker.run();
    const auto removed = "removed " + std::to_string(a.event);
    EXPECT_THAT(worker.journal, ElementsAre("start", removed, removed, "after", "exit YES"));
}

TEST_F(WorkerTest, HandlersComeBeforeMessagesWhichComeInALaterPass) {
    a.registerWith(worker);
    waits->thenDo([this] {
        waits->postMessage({0x401, 0, "m"});
        waits->setEvent(a.event);
    });
    worker.mark("next pass");
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "A", "next pass", "message m", "exit YES"));
}

TEST_F(WorkerTest, AMessageThatRegistersAHandlerHasItWaitedOnAtTheNextWait) {
    worker.onMessage = [this] { a.registerWith(worker); };
    waits->thenDo([this] { waits->postMessage({0x401, 0, "m"}); });
    worker.run();
    ASSERT_EQ(waits->waited.size(), 2u);
    EXPECT_THAT(waits->waited[1], ElementsAre(100, 101, a.event));
}

TEST_F(WorkerTest, AlertsAndTimeOutsNeitherDispatchNorEnd) {
    a.registerWith(worker);
    waits->thenAnswer({WaitResult::Kind::alerted});
    waits->thenAnswer({WaitResult::Kind::timedOut});
    signal({a.event});
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "A", "exit YES"));
}

TEST_F(WorkerTest, AFailedWaitEndsTheWorkerWithItsErrorCode) {
    waits->thenAnswer({WaitResult::Kind::failed, 0, 9});
    worker.mark("never");
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "exit NO"));
    EXPECT_TRUE(
        log.contains(LogLevel::error, "WFMOHandler - Unhandled WaitForMultipleObjects return code: 9"));
    EXPECT_TRUE(
        log.contains(LogLevel::info, "MsgWFMOHandler worker thread terminated, graceful termination: NO"));
}

TEST_F(WorkerTest, ACallbackExceptionEndsTheWorkerAndIsLogged) {
    worker.addWaitHandler(a.event, &a, &Callback::failWithMessage);
    signal({a.event});
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "exit NO"));
    EXPECT_TRUE(log.contains(LogLevel::error, "WFMOHandler - exception: boom"));
    EXPECT_TRUE(
        log.contains(LogLevel::info, "MsgWFMOHandler worker thread terminated, graceful termination: NO"));
}

TEST_F(WorkerTest, AnExceptionWithoutMessageIsLoggedAsUnknown) {
    worker.addWaitHandler(a.event, &a, &Callback::failWithoutMessage);
    signal({a.event});
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "exit NO"));
    EXPECT_TRUE(log.contains(LogLevel::error, "WFMOHandler - Unknown exception"));
}

TEST_F(WorkerTest, AFailingStartHookEndsTheWorkerBeforeAnyWait) {
    worker.failStart = true;
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "exit NO"));
    EXPECT_TRUE(waits->waited.empty());
    EXPECT_TRUE(log.contains(LogLevel::error, "WFMOHandler - exception: no start"));
}

TEST_F(WorkerTest, AQuitMessageTakenLastEndsTheWorkerAfterItsPass) {
    waits->thenDo([this] {
        waits->postMessage({0x401, 0, "before"});
        waits->postMessage({workerMessageQuit, 0, "quit"});
    });
    worker.mark("never");
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "message before", "exit NO"));
}

TEST_F(WorkerTest, AQuitMessageFollowedByAnotherDoesNotEndTheWorker) {
    waits->thenDo([this] {
        waits->postMessage({workerMessageQuit, 0, "quit"});
        waits->postMessage({0x401, 0, "after"});
    });
    worker.mark("next pass");
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "message after", "next pass", "exit YES"));
}

TEST_F(WorkerTest, StoppingEndsAModalLoopThatHoldsTheWorker) {
    using namespace std::chrono_literals;
    // An open menu: the worker stays in it until the loop is ended (bounded
    // here, so that a stop that never ends it fails instead of hanging).
    waits->thenDo([this] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!waits->modalLoopEnded && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
        worker.journal.push_back(waits->modalLoopEnded ? "menu ended" : "menu left open");
    });
    ASSERT_TRUE(worker.start());
    worker.stop();
    EXPECT_THAT(worker.journal, ElementsAre("start", "menu ended", "exit YES"));
}

TEST_F(WorkerTest, StopReleasesBothEventsAndEveryHandlerWithoutTheRemovalHook) {
    a.registerWith(worker);
    b.registerWith(worker);
    worker.removeWaitHandler(b.event);
    worker.stop();
    EXPECT_THAT(waits->closed, ElementsAre(100, 101));
    EXPECT_TRUE(worker.journal.empty());
    EXPECT_TRUE(worker.hasFreeWaitSlot());
    // Nothing is left to flag, and nothing is signalled on a closed event.
    worker.removeWaitHandler(a.event);
    EXPECT_THAT(waits->closed, ElementsAre(100, 101));
}

} // namespace
} // namespace obx
