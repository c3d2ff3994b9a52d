#pragma once

// A driver channel onto the real driver core in this process: device
// controls go to the core's control device, reads wait in its queue, and a
// completed read signals an event of the worker's wait primitive.

#include "devices/DriverChannel.h"
#include "driver/core/DriverHarness.h"

#include <atomic>
#include <set>
#include <vector>

namespace obx::test {

class CoreDriverChannel final : public IDriverChannel {
public:
    CoreDriverChannel(DriverHarness& driver, IWaitPrimitive& waits)
        : driver_(driver), waits_(waits), readEvent_(waits.createEvent()), read_(*this) {}
    ~CoreDriverChannel() override {
        close();
        waits_.closeHandle(readEvent_);
    }

    bool open() override {
        isOpen = !refuseOpen;
        return isOpen;
    }
    std::optional<std::uint32_t> control(std::uint32_t code, std::span<const std::uint8_t> input,
                                         std::span<std::uint8_t> output) override {
        codes.push_back(code);
        if (failingCodes.contains(code)) {
            return std::nullopt;
        }
        const auto done = driver_.device->controlDevice().deviceControl(this, code, input, output);
        if (done.status != OBX_STATUS_SUCCESS) {
            return std::nullopt;
        }
        return done.information;
    }
    bool queueRead(std::span<std::uint8_t> buffer) override {
        if (refuseReads) {
            return false;
        }
        ++readsQueued;
        buffer_ = buffer;
        state_ = ReadState::pending;
        driver_.device->controlDevice().read(read_);
        return true;
    }
    WaitHandle readHandle() const override { return readEvent_; }
    ReadState takeReadResult() override {
        waits_.resetEvent(readEvent_);
        return state_.load();
    }
    void close() override {
        if (isOpen) {
            isOpen = false;
            driver_.device->controlDevice().fileClose(this);
        }
    }

    bool refuseOpen = false;
    bool refuseReads = false;
    std::set<std::uint32_t> failingCodes;
    std::vector<std::uint32_t> codes;
    int readsQueued = 0;
    bool isOpen = false;

private:
    class Read final : public driver::IPendingRead {
    public:
        explicit Read(CoreDriverChannel& channel) : channel_(channel) {}
        driver::FileObject file() const override { return &channel_; }
        std::span<std::uint8_t> buffer() override { return channel_.buffer_; }
        void complete(driver::ObxStatus status, std::uint32_t) override {
            channel_.state_ = status == OBX_STATUS_SUCCESS ? ReadState::completed : ReadState::failed;
            channel_.waits_.setEvent(channel_.readEvent_);
        }

    private:
        CoreDriverChannel& channel_;
    };

    DriverHarness& driver_;
    IWaitPrimitive& waits_;
    const WaitHandle readEvent_;
    Read read_;
    std::span<std::uint8_t> buffer_;
    std::atomic<ReadState> state_{ReadState::pending};
};

} // namespace obx::test
