#pragma once

// Desktop queries that answer what the test sets; the test keeps a pointer
// to the shared state while the device layer owns the object.

#include "devices/DesktopQueries.h"

#include <memory>
#include <mutex>
#include <stdexcept>

namespace obx::test {

struct DesktopState {
    std::mutex mutex;
    std::uint64_t window = 0;
    std::string path;
    std::uint32_t modifiers = 0;
    bool failing = false; // every query throws
    int pathQueries = 0;

    void set(std::uint64_t newWindow, std::string newPath) {
        std::lock_guard guard(mutex);
        window = newWindow;
        path = std::move(newPath);
    }
    void press(std::uint32_t newModifiers) {
        std::lock_guard guard(mutex);
        modifiers = newModifiers;
    }
};

class FakeDesktopQueries final : public IDesktopQueries {
public:
    explicit FakeDesktopQueries(std::shared_ptr<DesktopState> state) : state_(std::move(state)) {}

    std::uint64_t foregroundWindow() override {
        std::lock_guard guard(state_->mutex);
        failIfAsked();
        return state_->window;
    }
    std::string foregroundApplicationPath() override {
        std::lock_guard guard(state_->mutex);
        failIfAsked();
        ++state_->pathQueries;
        return state_->path;
    }
    std::uint32_t pressedModifiers() override {
        std::lock_guard guard(state_->mutex);
        failIfAsked();
        return state_->modifiers;
    }

private:
    void failIfAsked() const {
        if (state_->failing) {
            throw std::runtime_error("desktop gone");
        }
    }

    std::shared_ptr<DesktopState> state_;
};

} // namespace obx::test
