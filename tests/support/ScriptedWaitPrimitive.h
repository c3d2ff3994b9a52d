#pragma once

// A wait primitive without a system: events are flags, and each wait first
// runs the next step of a script (which may signal handles, post messages or
// force an answer), then answers as the system would: the lowest signalled
// position, else input when a message is queued. With the script used up,
// the wait reports the stop event (position 0), so a worker run on the test
// thread always ends.

#include "base/WaitPrimitive.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace obx::test {

class ScriptedWaitPrimitive final : public IWaitPrimitive {
public:
    using Step = std::function<std::optional<WaitResult>()>;

    void then(Step step) {
        std::lock_guard guard(mutex_);
        script_.push_back(std::move(step));
    }
    // A step that only does something and lets the answer be computed.
    void thenDo(std::function<void()> action) {
        then([action = std::move(action)]() -> std::optional<WaitResult> {
            action();
            return std::nullopt;
        });
    }
    void thenAnswer(WaitResult result) {
        then([result]() -> std::optional<WaitResult> { return result; });
    }

    WaitHandle createEvent() override {
        std::lock_guard guard(mutex_);
        const WaitHandle handle = nextHandle_++;
        events_[handle] = false;
        return handle;
    }
    void setEvent(WaitHandle event) override {
        std::lock_guard guard(mutex_);
        events_[event] = true;
    }
    void resetEvent(WaitHandle event) override {
        std::lock_guard guard(mutex_);
        events_[event] = false;
    }
    bool isSignalled(WaitHandle event) override {
        std::lock_guard guard(mutex_);
        return events_[event];
    }
    void closeHandle(WaitHandle event) override {
        std::lock_guard guard(mutex_);
        events_.erase(event);
        closed.insert(event);
    }

    WaitResult wait(std::span<const WaitHandle> handles) override {
        {
            std::lock_guard guard(mutex_);
            waited.emplace_back(handles.begin(), handles.end());
        }
        for (;;) {
            Step step;
            {
                std::lock_guard guard(mutex_);
                if (script_.empty()) {
                    return {WaitResult::Kind::signalled, 0};
                }
                step = std::move(script_.front());
                script_.pop_front();
            }
            if (auto forced = step()) {
                return *forced;
            }
            std::lock_guard guard(mutex_);
            for (std::size_t i = 0; i < handles.size(); ++i) {
                if (events_[handles[i]]) {
                    return {WaitResult::Kind::signalled, i};
                }
            }
            if (!queue_.empty()) {
                return {WaitResult::Kind::input};
            }
        }
    }

    void postMessage(WorkerMessage message) override {
        std::lock_guard guard(mutex_);
        queue_.push_back(std::move(message));
    }
    bool takeMessage(WorkerMessage& message) override {
        std::lock_guard guard(mutex_);
        if (queue_.empty()) {
            return false;
        }
        message = std::move(queue_.front());
        queue_.pop_front();
        return true;
    }
    void startTimer(std::uint32_t id, std::chrono::milliseconds period) override {
        std::lock_guard guard(mutex_);
        timers[id] = period;
    }
    void stopTimer(std::uint32_t id) override {
        std::lock_guard guard(mutex_);
        timers.erase(id);
    }
    void endModalLoop() override { modalLoopEnded = true; }

    // What the worker did, for the test to check.
    std::vector<std::vector<WaitHandle>> waited;
    std::set<WaitHandle> closed;
    std::map<std::uint32_t, std::chrono::milliseconds> timers;
    std::atomic<bool> modalLoopEnded{false};

private:
    std::mutex mutex_;
    std::deque<Step> script_;
    std::map<WaitHandle, bool> events_;
    std::deque<WorkerMessage> queue_;
    WaitHandle nextHandle_ = 100;
};

} // namespace obx::test
