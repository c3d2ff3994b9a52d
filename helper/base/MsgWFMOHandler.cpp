#include "base/MsgWFMOHandler.h"

#include "base/Log.h"

#include <iterator>
#include <stdexcept>
#include <system_error>

namespace obx {

MsgWFMOHandler::MsgWFMOHandler(std::unique_ptr<IWaitPrimitive> waits)
    : waits_(std::move(waits)), stopEvent_(waits_->createEvent()), changeEvent_(waits_->createEvent()) {}

MsgWFMOHandler::~MsgWFMOHandler() {
    // The owner stops the worker first; this only keeps a forgotten stop from
    // ending the process.
    stop();
}

bool MsgWFMOHandler::start() {
    try {
        thread_ = std::thread([this] { threadMain(); });
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void MsgWFMOHandler::stop() {
    if (thread_.joinable()) {
        waits_->setEvent(stopEvent_);
        waits_->endModalLoop();
        thread_.join();
    }
    releaseEvents();
    std::lock_guard guard(lock_);
    handlers_.clear();
}

void MsgWFMOHandler::releaseEvents() {
    if (eventsOpen_) {
        eventsOpen_ = false;
        waits_->closeHandle(stopEvent_);
        waits_->closeHandle(changeEvent_);
    }
}

void MsgWFMOHandler::threadMain() {
    run();
}

void MsgWFMOHandler::run() {
    bool graceful = false;
    try {
        onThreadStart();
        std::vector<WaitHandle> array;
        rebuildWaitArray(array);
        for (;;) {
            const auto result = waits_->wait(array);
            std::lock_guard guard(lock_);
            if (!handleWaitResult(result, array, graceful)) {
                break;
            }
        }
    } catch (const std::exception& error) {
        graceful = false;
        log(LogLevel::error, "WFMOHandler - exception: ", error.what());
    } catch (...) {
        graceful = false;
        log(LogLevel::error, "WFMOHandler - Unknown exception");
    }
    log(LogLevel::info,
        "MsgWFMOHandler worker thread terminated, graceful termination: ", graceful ? "YES" : "NO");
    onThreadExit(graceful);
}

bool MsgWFMOHandler::handleWaitResult(const WaitResult& result, std::vector<WaitHandle>& array,
                                      bool& graceful) {
    switch (result.kind) {
    case WaitResult::Kind::signalled:
        if (result.index == 0) {
            graceful = true;
            return false;
        }
        if (result.index == 1) {
            rebuildWaitArray(array);
        } else {
            invokeHandlerAt(result.index - 2);
        }
        return true;
    case WaitResult::Kind::input: {
        const bool goOn = pumpMessages();
        // A message handler may have registered or removed handlers.
        if (waits_->isSignalled(changeEvent_)) {
            rebuildWaitArray(array);
        }
        return goOn;
    }
    case WaitResult::Kind::alerted:
    case WaitResult::Kind::timedOut:
        return true;
    case WaitResult::Kind::failed:
        break;
    }
    log(LogLevel::error, "WFMOHandler - Unhandled WaitForMultipleObjects return code: ", result.error);
    return false;
}

void MsgWFMOHandler::invokeHandlerAt(std::size_t position) {
    // Entries are only appended between rebuilds, so the positions of the
    // last rebuild still name the same entries.
    if (position >= handlers_.size()) {
        return;
    }
    auto& handler = *std::next(handlers_.begin(), static_cast<std::ptrdiff_t>(position));
    if (!handler->removed) {
        handler->invoke(*this);
    }
}

bool MsgWFMOHandler::pumpMessages() {
    WorkerMessage message;
    bool quit = false;
    while (waits_->takeMessage(message)) {
        quit = message.code == workerMessageQuit;
        if (!quit) {
            dispatchMessage(message);
        }
    }
    return !quit;
}

void MsgWFMOHandler::rebuildWaitArray(std::vector<WaitHandle>& array) {
    std::lock_guard guard(lock_);
    for (auto entry = handlers_.begin(); entry != handlers_.end();) {
        if ((*entry)->removed) {
            onWaitHandlerRemoved((*entry)->handle);
            entry = handlers_.erase(entry);
        } else {
            ++entry;
        }
    }
    array.resize(2 + handlers_.size());
    array[0] = stopEvent_;
    array[1] = changeEvent_;
    std::size_t position = 2;
    for (auto& handler : handlers_) {
        array[position++] = handler->handle;
    }
    waits_->resetEvent(changeEvent_);
}

void MsgWFMOHandler::requireFreeWaitSlot() {
    if (!hasFreeWaitSlot()) {
        throw std::runtime_error("Error binding overlapped io with completion handler");
    }
}

void MsgWFMOHandler::appendHandler(std::unique_ptr<WaitHandlerBase> handler) {
    handlers_.push_back(std::move(handler));
    waits_->setEvent(changeEvent_);
}

void MsgWFMOHandler::removeWaitHandler(WaitHandle handle) {
    std::lock_guard guard(lock_);
    // A handle can be reused by a new registration while the old one waits
    // for the rebuild to delete it; the removal then belongs to the new one.
    for (auto& handler : handlers_) {
        if (handler->handle == handle && !handler->removed) {
            handler->removed = true;
            waits_->setEvent(changeEvent_);
            return;
        }
    }
}

bool MsgWFMOHandler::hasFreeWaitSlot() {
    std::lock_guard guard(lock_);
    std::size_t active = 0;
    for (auto& handler : handlers_) {
        active += handler->removed ? 0 : 1;
    }
    return active < maxWaitHandlers();
}

void MsgWFMOHandler::postMessage(WorkerMessage message) {
    waits_->postMessage(std::move(message));
}

} // namespace obx
