#pragma once

// One worker thread that waits in a single call on a set of handles and on
// its own message queue, and runs whatever became ready, one item per pass:
// the stop request first, then a change of the handle set, then the handlers
// in registration order, then the messages.

#include "base/WaitPrimitive.h"

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace obx {

class MsgWFMOHandler {
public:
    class WaitHandlerBase {
    public:
        explicit WaitHandlerBase(WaitHandle waitHandle) : handle(waitHandle) {}
        virtual ~WaitHandlerBase() = default;
        virtual void invoke(MsgWFMOHandler& worker) = 0;

        const WaitHandle handle;
        bool removed = false;
    };

    template <typename Object>
    class WaitHandler final : public WaitHandlerBase {
    public:
        using Member = void (Object::*)();
        WaitHandler(WaitHandle waitHandle, Object* object, Member member)
            : WaitHandlerBase(waitHandle), object_(object), member_(member) {}
        void invoke(MsgWFMOHandler&) override { (object_->*member_)(); }

    private:
        Object* object_;
        Member member_;
    };

    // Creates the stop and change events; throws std::system_error.
    explicit MsgWFMOHandler(std::unique_ptr<IWaitPrimitive> waits);
    virtual ~MsgWFMOHandler();
    MsgWFMOHandler(const MsgWFMOHandler&) = delete;
    MsgWFMOHandler& operator=(const MsgWFMOHandler&) = delete;

    // False when the thread cannot be created.
    virtual bool start();
    // Ends the worker and waits for it, then releases the events and every
    // handler. Never on the worker itself; the worker cannot start again.
    virtual void stop();
    virtual void onThreadStart() {}
    virtual void onThreadExit(bool /*graceful*/) {}
    virtual void onWaitHandlerRemoved(WaitHandle /*handle*/) {}
    virtual void run();
    virtual void threadMain();
    // Delivers every queued message; false when the quit message came last.
    virtual bool pumpMessages();
    // What the worker does with one message: the window procedure.
    virtual void dispatchMessage(const WorkerMessage& /*message*/) {}

    // The callback runs on the worker, with the worker lock held, from the
    // worker's next pass on. Throws "Error binding overlapped io with
    // completion handler" when every slot is taken.
    template <typename Object>
    void addWaitHandler(WaitHandle handle, Object* object, void (Object::*member)()) {
        std::lock_guard guard(lock_);
        requireFreeWaitSlot();
        appendHandler(std::make_unique<WaitHandler<Object>>(handle, object, member));
    }
    // Flags the first handler of handle; the worker deletes it at its next
    // rebuild, so a callback is never freed while it runs.
    void removeWaitHandler(WaitHandle handle);
    bool hasFreeWaitSlot();
    // The wait's handles less the stop and change events: 62 of the 64 that
    // the system's wait holds, 61 where the wait itself takes one fewer.
    std::size_t maxWaitHandlers() const { return waits_->maxWaitHandles() - 2; }

    // Any thread: the message is delivered on the worker.
    void postMessage(WorkerMessage message);

    // The worker lock: held by the worker while it handles anything.
    void lock() { lock_.lock(); }
    void unlock() { lock_.unlock(); }

protected:
    IWaitPrimitive& waits() { return *waits_; }

private:
    void requireFreeWaitSlot();
    void appendHandler(std::unique_ptr<WaitHandlerBase> handler);
    void rebuildWaitArray(std::vector<WaitHandle>& array);
    // Runs one pass for result; false when the loop ends.
    bool handleWaitResult(const WaitResult& result, std::vector<WaitHandle>& array, bool& graceful);
    void invokeHandlerAt(std::size_t position);
    void releaseEvents();

    std::unique_ptr<IWaitPrimitive> waits_;
    std::recursive_mutex lock_;
    std::list<std::unique_ptr<WaitHandlerBase>> handlers_;
    WaitHandle stopEvent_;
    WaitHandle changeEvent_;
    bool eventsOpen_ = true;
    std::thread thread_;
};

} // namespace obx
