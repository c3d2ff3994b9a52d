#pragma once

// What the worker needs of the system to wait: events it can signal, one
// blocking wait over handles and the thread's own message queue, and
// periodic timers whose ticks arrive as messages.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace obx {

// A waitable object of the system (a file descriptor, a kernel handle).
using WaitHandle = std::intptr_t;

// A posted message. Codes follow the window-message numbers, so that the
// worker's message handling reads the same on every system.
struct WorkerMessage {
    std::uint32_t code = 0;
    std::uint64_t param = 0;
    std::string text;
};

inline constexpr std::uint32_t workerMessageQuit = 0x12;
inline constexpr std::uint32_t workerMessageTimer = 0x113; // param: the timer id
inline constexpr std::uint32_t workerMessageUser = 0x400;

struct WaitResult {
    enum class Kind {
        signalled, // index: the lowest signalled position
        input,     // a message is queued
        alerted,   // the wait was interrupted; nothing is ready
        timedOut,
        failed, // error: the system's code
    };
    Kind kind = Kind::failed;
    std::size_t index = 0;
    int error = 0;
};

class IWaitPrimitive {
public:
    virtual ~IWaitPrimitive() = default;

    // A manual-reset event, not signalled. Throws std::system_error.
    virtual WaitHandle createEvent() = 0;
    virtual void setEvent(WaitHandle event) = 0;
    virtual void resetEvent(WaitHandle event) = 0;
    // Polls without waiting.
    virtual bool isSignalled(WaitHandle event) = 0;
    virtual void closeHandle(WaitHandle event) = 0;

    // Blocks without time limit until one of handles is signalled, or a
    // message (a timer tick included) is ready for the worker.
    virtual WaitResult wait(std::span<const WaitHandle> handles) = 0;
    // How many handles one wait takes: the 64 of the system's wait unless a
    // backend takes fewer.
    virtual std::size_t maxWaitHandles() const { return 64; }

    // Any thread.
    virtual void postMessage(WorkerMessage message) = 0;
    // The worker: the next message, false when none is queued.
    virtual bool takeMessage(WorkerMessage& message) = 0;

    // Ticks of timer id arrive as workerMessageTimer every period until
    // stopped; ticks that the worker has not taken yet are merged into one.
    virtual void startTimer(std::uint32_t id, std::chrono::milliseconds period) = 0;
    virtual void stopTimer(std::uint32_t id) = 0;

    // Any thread, while the worker is stopped: ends a modal loop of the
    // system's (an open menu) that holds the worker until the user acts, so
    // that the stop is not left waiting for the user. Where the system runs
    // no such loop on the worker there is nothing to end.
    virtual void endModalLoop() {}
};

} // namespace obx
