#include "platform/windows/base/WindowsWaitPrimitive.h"

#include "base/LogCapture.h"
#include "base/MsgWFMOHandler.h"
#include "support/ErrorText.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

// The worker's ordering rules on the system's own wait: real events, the
// thread's real message queue and timers.

namespace obx {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using windows::WindowsWaitPrimitive;

class JournalWorker : public MsgWFMOHandler {
public:
    JournalWorker() : MsgWFMOHandler(std::make_unique<WindowsWaitPrimitive>()) {}

    void onThreadStart() override {
        note("start");
        if (startHook) {
            startHook();
        }
    }
    void onThreadExit(bool graceful) override { note(graceful ? "exit YES" : "exit NO"); }
    void onWaitHandlerRemoved(WaitHandle handle) override { note("removed " + nameOf(handle)); }
    void dispatchMessage(const WorkerMessage& message) override {
        if (message.code == workerMessageTimer) {
            onTimer(message.param);
        } else {
            note("message " + message.text);
            seen.set_value();
        }
    }

    // Any thread; the journal is read after the worker ended.
    void note(const std::string& text) {
        std::lock_guard guard(journalMutex);
        journal.push_back(text);
    }
    std::string nameOf(WaitHandle handle) { return names.contains(handle) ? names[handle] : "?"; }
    void quit() { postMessage({workerMessageQuit, 0, {}}); }
    IWaitPrimitive& system() { return waits(); }

    std::mutex journalMutex;
    std::vector<std::string> journal;
    std::map<WaitHandle, std::string> names;
    std::function<void()> startHook;
    std::function<void(std::uint64_t)> onTimer = [](std::uint64_t) {};
    std::promise<void> seen;
};

// A registered event whose callback clears it, as a completion handler
// consumes what signalled it.
class Callback {
public:
    Callback(JournalWorker& worker, std::string name)
        : worker_(worker), name_(std::move(name)), event(worker.system().createEvent()) {
        worker.names[event] = name_;
    }
    ~Callback() { worker_.system().closeHandle(event); }
    void fire() {
        worker_.system().resetEvent(event);
        worker_.note(name_);
        if (then) {
            then();
        }
    }
    void registerWith(JournalWorker& worker) { worker.addWaitHandler(event, this, &Callback::fire); }
    void signal() { worker_.system().setEvent(event); }

private:
    JournalWorker& worker_;
    std::string name_;

public:
    const WaitHandle event;
    std::function<void()> then;
};

class WindowsWorkerTest : public ::testing::Test {
protected:
    LogCapture log;
    JournalWorker worker;
};

TEST_F(WindowsWorkerTest, HandlesRunInRegistrationOrderOnePerPassBeforeQueuedMessages) {
    Callback a(worker, "A");
    Callback b(worker, "B");
    a.registerWith(worker);
    b.registerWith(worker);
    b.signal();
    a.signal();
    // Posted before the worker's window exists: delivered once it does.
    worker.postMessage({0x401, 0, "m"});
    worker.quit();
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "A", "B", "message m", "exit NO"));
}

TEST_F(WindowsWorkerTest, MessagesFromAnotherThreadWakeTheWorkerWhichStopsGracefully) {
    ASSERT_TRUE(worker.start());
    auto seen = worker.seen.get_future();
    std::thread([&] { worker.postMessage({0x401, 0, "from elsewhere"}); }).join();
    ASSERT_EQ(seen.wait_for(30s), std::future_status::ready);
    worker.stop();
    EXPECT_THAT(worker.journal, ElementsAre("start", "message from elsewhere", "exit YES"));
    EXPECT_TRUE(
        log.contains(LogLevel::info, "MsgWFMOHandler worker thread terminated, graceful termination: YES"));
}

TEST_F(WindowsWorkerTest, TimerTicksArriveWithTheirIdUntilStopped) {
    int ticks = 0;
    worker.startHook = [&] { worker.system().startTimer(7, 20ms); };
    worker.onTimer = [&](std::uint64_t id) {
        worker.note("tick " + std::to_string(id));
        if (++ticks == 3) {
            worker.system().stopTimer(7);
            worker.quit();
        }
    };
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "tick 7", "tick 7", "tick 7", "exit NO"));
}

TEST_F(WindowsWorkerTest, AHandlerRemovedByAnotherCallbackIsSkippedAndDeletedAtTheRebuild) {
    Callback a(worker, "A");
    Callback b(worker, "B");
    a.registerWith(worker);
    b.registerWith(worker);
    a.then = [&] {
        worker.removeWaitHandler(b.event);
        worker.quit();
    };
    a.signal();
    b.signal();
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "A", "removed B", "exit NO"));
}

TEST_F(WindowsWorkerTest, TheSystemWaitTakesEveryHandlerTheWorkerAccepts) {
    // The system's wait takes 63 handles besides the message queue: two are
    // the stop and change events.
    std::vector<std::unique_ptr<Callback>> callbacks;
    while (worker.hasFreeWaitSlot()) {
        callbacks.push_back(std::make_unique<Callback>(worker, "H" + std::to_string(callbacks.size())));
        callbacks.back()->registerWith(worker);
    }
    ASSERT_EQ(callbacks.size(), 61u);
    EXPECT_EQ(test::errorText([&] { callbacks.front()->registerWith(worker); }),
              "Error binding overlapped io with completion handler");
    callbacks.back()->then = [&] { worker.quit(); };
    callbacks.back()->signal();
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "H60", "exit NO"));
}

VOID CALLBACK signalFromAlert(ULONG_PTR callback) {
    auto* target = reinterpret_cast<Callback*>(callback);
    target->signal();
}

TEST_F(WindowsWorkerTest, AnAlertNeitherDispatchesNorEndsTheWorker) {
    Callback a(worker, "A");
    a.registerWith(worker);
    a.then = [&] { worker.quit(); };
    // Runs inside the worker's alertable wait, which then reports the alert;
    // the event it sets is served in the next pass.
    worker.startHook = [&] {
        ::QueueUserAPC(signalFromAlert, ::GetCurrentThread(), reinterpret_cast<ULONG_PTR>(&a));
    };
    worker.run();
    EXPECT_THAT(worker.journal, ElementsAre("start", "A", "exit NO"));
}

TEST_F(WindowsWorkerTest, TheWorkersOtherWindowsReceiveTheirMessages) {
    static std::atomic<int> received{0};
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_APP + 7) {
            received = static_cast<int>(wParam);
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    };
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ObxWorkerTestWindow";
    ASSERT_NE(::RegisterClassExW(&windowClass), 0);
    worker.startHook = [&] {
        HWND other = ::CreateWindowExW(0, L"ObxWorkerTestWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       ::GetModuleHandleW(nullptr), nullptr);
        ::PostMessageW(other, WM_APP + 7, 42, 0);
        worker.quit();
    };
    worker.run();
    EXPECT_EQ(received, 42);
    EXPECT_THAT(worker.journal, ElementsAre("start", "exit NO"));
}

// What a modal loop on the worker does (a menu's, the shell's DDE loop): it
// dispatches every message, so the wake-ups reach DefWindowProcW and are gone.
void runNestedLoop() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::DispatchMessageW(&msg);
    }
}

TEST(WindowsWaitPrimitiveTest, MessagesWhoseWakeUpANestedLoopSwallowedAreStillWaitedForAndTaken) {
    WindowsWaitPrimitive waits;
    waits.window();
    waits.postMessage({0x401, 0, "device arrived"});
    waits.postMessage({0x401, 0, "device removed"});
    runNestedLoop();
    // Ends a wait that would otherwise never end, so a lost message fails the
    // test instead of hanging it.
    const WaitHandle watchdog = waits.createEvent();
    const WaitHandle waited = waits.createEvent();
    std::thread guard([&] {
        ::WaitForSingleObject(reinterpret_cast<HANDLE>(waited), 10000);
        waits.setEvent(watchdog);
    });
    const WaitHandle handles[] = {watchdog};
    const auto result = waits.wait(handles);
    waits.setEvent(waited);
    guard.join();
    waits.closeHandle(watchdog);
    waits.closeHandle(waited);
    EXPECT_EQ(result.kind, WaitResult::Kind::input);
    WorkerMessage message;
    ASSERT_TRUE(waits.takeMessage(message));
    EXPECT_EQ(message.text, "device arrived");
    ASSERT_TRUE(waits.takeMessage(message));
    EXPECT_EQ(message.text, "device removed");
    EXPECT_FALSE(waits.takeMessage(message));
}

TEST(WindowsWaitPrimitiveTest, UserMessagePostedToTheWindowFromOutsideBecomesAWorkerMessage) {
    WindowsWaitPrimitive waits;
    ASSERT_TRUE(::PostMessageW(waits.window(), WM_USER, 0, 0));
    const auto result = waits.wait({});
    EXPECT_EQ(result.kind, WaitResult::Kind::input);
    WorkerMessage message{0, 1, "stale"};
    ASSERT_TRUE(waits.takeMessage(message));
    EXPECT_EQ(message.code, workerMessageUser);
    EXPECT_EQ(message.param, 0u);
    EXPECT_EQ(message.text, "");
    EXPECT_FALSE(waits.takeMessage(message));
}

TEST(WindowsWaitPrimitiveTest, MenusAreOwnedByAHiddenTopLevelWindowThatCanTakeTheForeground) {
    WindowsWaitPrimitive waits;
    EXPECT_EQ(::GetAncestor(waits.window(), GA_PARENT) == ::GetDesktopWindow(), false);
    HWND owner = windows::deviceManagerMenuOwner();
    ASSERT_EQ(owner, waits.menuOwner());
    EXPECT_EQ(::GetAncestor(owner, GA_PARENT), ::GetDesktopWindow());
    EXPECT_FALSE(::IsWindowVisible(owner));
}

TEST(WindowsWaitPrimitiveTest, ASignalledHandleStillComesBeforeQueuedMessages) {
    WindowsWaitPrimitive waits;
    waits.window();
    waits.postMessage({0x401, 0, "m"});
    runNestedLoop();
    const WaitHandle event = waits.createEvent();
    waits.setEvent(event);
    const WaitHandle handles[] = {event};
    const auto result = waits.wait(handles);
    EXPECT_EQ(result.kind, WaitResult::Kind::signalled);
    EXPECT_EQ(result.index, 0u);
    waits.closeHandle(event);
}

} // namespace
} // namespace obx
