#pragma once

// A filter device on a simulated HID device, with recorded mouse packets, a manual clock and timers
// that fire when the clock passes their due time.

#include "driver/core/FilterDevice.h"
#include "driver/core/Framework.h"
#include "driver/hid/ReportDescriptorParser.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace obx::test {

using namespace obx::driver;

class StdLock final : public ILock {
public:
    void lock() override {
        mutex_.lock();
        held_ = true;
    }
    void unlock() override {
        held_ = false;
        mutex_.unlock();
    }
    // Whether a thread holds it: a spin lock in the kernel, under which passive-level calls are faults.
    bool held() const { return held_; }

private:
    std::mutex mutex_;
    std::atomic<bool> held_ = false;
};

class ManualClock final : public IClock {
public:
    uint64_t uptimeMilliseconds() const override { return now; }
    uint64_t now = 1000;
};

class ManualTimer final : public ITimer {
public:
    ManualTimer(uint32_t period) : period_(period) {}
    bool start(uint32_t milliseconds) override {
        const bool waiting = due.has_value();
        due = clock->now + milliseconds;
        ++starts;
        return waiting;
    }
    void stop() override { due.reset(); }

    const ManualClock* clock = nullptr;
    std::optional<uint64_t> due;
    int starts = 0;
    uint32_t period_;
};

class SimulatedHidDevice final : public IHidDevice {
public:
    ObxStatus collectionInformation(HidCollectionInformation& out) override {
        out = info;
        return infoStatus;
    }
    ObxStatus collectionDescriptor(std::span<uint8_t> out) override {
        std::copy_n(descriptor.begin(), std::min(out.size(), descriptor.size()), out.begin());
        return descriptorStatus;
    }
    ObxStatus string(HidString which, std::span<uint16_t> buffer) override {
        const std::u16string& text = which == HidString::Product ? product : serial;
        if (which == HidString::SerialNumber && !serialReadable)
            return OBX_STATUS_NOT_SUPPORTED;
        lastStringBufferChars = buffer.size();
        for (size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = i < text.size() ? text[i] : 0;
        return OBX_STATUS_SUCCESS;
    }
    ObxStatus create(FileObject) override {
        ++creates;
        return OBX_STATUS_SUCCESS;
    }
    ObxStatus openReadTarget(FileObject) override {
        if (openFails)
            return OBX_STATUS_INSUFFICIENT_RESOURCES;
        targetOpen = true;
        return OBX_STATUS_SUCCESS;
    }
    void closeReadTarget() override {
        targetOpen = false;
        if (pending)
            complete(OBX_STATUS_CANCELLED, {});
    }
    // Reports in the backlog complete each read inside its send, as a HID class driver does with reports
    // it has kept.
    ObxStatus sendRead(std::span<uint8_t> buffer, IReadCompletion& completion) override {
        pendingBuffer = buffer;
        pending = &completion;
        ++reads;
        maxSendDepth = std::max(maxSendDepth, ++sendDepth);
        if (!backlog.empty()) {
            const std::vector<uint8_t> report = std::move(backlog.front());
            backlog.pop_front();
            deliver(report);
        }
        --sendDepth;
        return OBX_STATUS_SUCCESS;
    }

    ObxStatus getFeature(std::span<uint8_t> report) override {
        const auto it = features.find(report[0]);
        if (it == features.end())
            return OBX_STATUS_NOT_SUPPORTED;
        std::copy_n(it->second.begin(), std::min(report.size(), it->second.size()), report.begin());
        return OBX_STATUS_SUCCESS;
    }

    // Completes the read in flight with a report; false when none is in flight.
    bool deliver(const std::vector<uint8_t>& report) { return complete(OBX_STATUS_SUCCESS, report); }
    bool fail(ObxStatus status) { return complete(status, {}); }

    HidCollectionInformation info{0x1234, 0x0107, 0};
    ObxStatus infoStatus = OBX_STATUS_SUCCESS;
    ObxStatus descriptorStatus = OBX_STATUS_SUCCESS;
    std::vector<uint8_t> descriptor;
    std::deque<std::vector<uint8_t>> backlog;
    std::map<uint8_t, std::vector<uint8_t>> features; // feature reports by id, id byte first
    int sendDepth = 0;
    int maxSendDepth = 0;
    std::u16string product = u"Test Trackball";
    std::u16string serial = u"SN0001";
    bool serialReadable = true;
    size_t lastStringBufferChars = 0;
    bool targetOpen = false;
    bool openFails = false;
    int creates = 0;
    int reads = 0;
    IReadCompletion* pending = nullptr;

private:
    bool complete(ObxStatus status, const std::vector<uint8_t>& report) {
        IReadCompletion* c = pending;
        if (c == nullptr)
            return false;
        pending = nullptr;
        const size_t n = std::min(report.size(), pendingBuffer.size());
        std::copy_n(report.begin(), n, pendingBuffer.begin());
        c->readCompleted(status, static_cast<uint32_t>(n));
        return true;
    }
    std::span<uint8_t> pendingBuffer;
};

// Our own parser, with failures to order, as the system's parser may fail on any one operation.
class ScriptedParser final : public hid::IHidParser {
public:
    std::span<uint8_t> descriptorStorage(uint32_t size) override { return parser.descriptorStorage(size); }
    hid::HidStatus load(hid::HidCaps& caps) override {
        notePassiveCall();
        return parser.load(caps);
    }
    void release() override {
        ++releases;
        parser.release();
    }
    uint32_t maxUsageListLength(uint16_t page) const override {
        notePassiveCall();
        return parser.maxUsageListLength(page);
    }
    hid::HidStatus getUsages(uint16_t page, std::span<const uint8_t> report, std::span<uint16_t> usages,
                             uint32_t& count) const override {
        return failUsages ? hid::HidStatus::BufferTooSmall : parser.getUsages(page, report, usages, count);
    }
    hid::HidStatus getScaledUsageValue(uint16_t page, uint16_t usage, std::span<const uint8_t> report,
                                       int32_t& value) const override {
        return usage == failValue ? hid::HidStatus::UsageNotFound
                                  : parser.getScaledUsageValue(page, usage, report, value);
    }
    hid::HidStatus getClampedScaledUsageValue(uint16_t page, uint16_t usage, std::span<const uint8_t> report,
                                              int32_t& value) const override {
        return usage == failValue ? hid::HidStatus::UsageNotFound
                                  : parser.getClampedScaledUsageValue(page, usage, report, value);
    }
    uint32_t highestUsage(uint16_t page) const override {
        notePassiveCall();
        return parser.highestUsage(page);
    }
    bool declares(uint16_t page, uint16_t usage) const override {
        notePassiveCall();
        return parser.declares(page, usage);
    }
    uint32_t multiplierReports(std::span<uint8_t> ids) const override {
        notePassiveCall();
        return parser.multiplierReports(ids);
    }
    void takeFeatureReport(std::span<const uint8_t> report) override { parser.takeFeatureReport(report); }
    int32_t resolutionMultiplier(uint16_t page, uint16_t usage,
                                 std::span<const uint8_t> report) const override {
        return parser.resolutionMultiplier(page, usage, report);
    }
    hid::HidStatus usageListDifference(std::span<const uint16_t> previous, std::span<const uint16_t> current,
                                       std::span<uint16_t> breakList, std::span<uint16_t> makeList,
                                       uint32_t length) const override {
        return failDifference ? hid::HidStatus::BufferTooSmall
                              : parser.usageListDifference(previous, current, breakList, makeList, length);
    }

    hid::ReportDescriptorParser parser;
    // The system's parser answers these two only at passive level: never under a spin lock.
    const StdLock* spinLock = nullptr;
    mutable int passiveCallsUnderSpinLock = 0;
    bool failUsages = false;
    bool failDifference = false;
    uint16_t failValue = 0;
    int releases = 0;

private:
    void notePassiveCall() const {
        if (spinLock != nullptr && spinLock->held())
            ++passiveCallsUnderSpinLock;
    }
};

class PacketRecorder final : public IMouseClassService {
public:
    void serviceCallback(std::span<const MouseInputData> records) override {
        packets.insert(packets.end(), records.begin(), records.end());
    }
    std::vector<MouseInputData> packets;
};

class RecordedRead final : public IPendingRead {
public:
    explicit RecordedRead(FileObject f, size_t size = sizeof(OBX_BUTTON_EVENT)) : file_(f), bytes_(size) {}
    FileObject file() const override { return file_; }
    bool markCancelable() override { return !cancelledBeforeWaiting; }
    std::span<uint8_t> buffer() override { return bytes_; }
    void complete(ObxStatus s, uint32_t info) override {
        ++completions;
        status = s;
        information = info;
    }
    OBX_BUTTON_EVENT event() const {
        OBX_BUTTON_EVENT e;
        std::memcpy(&e, bytes_.data(), sizeof e);
        return e;
    }

    bool cancelledBeforeWaiting = false;
    int completions = 0;
    ObxStatus status = 0;
    uint32_t information = 0;

private:
    FileObject file_;
    std::vector<uint8_t> bytes_;
};

class DriverHarness {
public:
    explicit DriverHarness(const std::vector<uint8_t>& descriptor, uint16_t productId = 0x1234,
                           InstanceCounter* counter = nullptr) {
        hid.descriptor = descriptor;
        hid.info.productId = productId;
        hid.info.descriptorSize = static_cast<uint32_t>(descriptor.size());
        for (ManualTimer* t : {&chord, &inertia, &autoScroll})
            t->clock = &clock;
        parser.spinLock = &deviceLock;
        InstanceCounter& c = counter != nullptr ? *counter : ownCounter;
        device = std::make_unique<FilterDevice>(
            FilterDeviceServices{hid,
                                 parser,
                                 clock,
                                 deviceLock,
                                 fileLock,
                                 readLock,
                                 {&chord, &inertia, &autoScroll},
                                 ControlDeviceLocks{registrationLock, controlLock, ringStore, ringTake}},
            c.next());
    }

    // Prepared, connected and opened by the class driver: the read loop runs.
    void start() {
        ASSERT_EQ(device->prepareHardware(), OBX_STATUS_SUCCESS);
        connect();
        ASSERT_EQ(device->fileCreate(&classFile, false), OBX_STATUS_SUCCESS);
    }

    Completion connect() { return device->connect(recorder); }

    Completion control(uint32_t code, std::vector<uint8_t> input, size_t outputSize = 0,
                       std::vector<uint8_t>* output = nullptr, FileObject file = nullptr) {
        std::vector<uint8_t> out(outputSize);
        const Completion c =
            device->controlDevice().deviceControl(file ? file : &helperFile, code, input, out);
        if (output)
            *output = out;
        return c;
    }

    // Advances the clock in 1 ms steps, firing every timer that falls due, periodic ones again.
    void advance(uint64_t ms) {
        for (uint64_t i = 0; i < ms; ++i) {
            ++clock.now;
            for (auto [timer, id] : {std::pair{&chord, kChordTimer}, std::pair{&inertia, kInertiaTimer},
                                     std::pair{&autoScroll, kAutoScrollTimer}}) {
                if (timer->due && *timer->due <= clock.now) {
                    timer->due.reset();
                    if (timer->period_ != 0)
                        timer->due = clock.now + timer->period_;
                    device->timerFired(id);
                }
            }
        }
    }

    std::vector<MouseInputData> takePackets() { return std::exchange(recorder.packets, {}); }

    ManualClock clock;
    ManualTimer chord{0};
    ManualTimer inertia{kInertiaPeriodMs};
    ManualTimer autoScroll{kAutoScrollPeriodMs};
    StdLock deviceLock, fileLock, readLock, registrationLock, controlLock, ringStore, ringTake;
    SimulatedHidDevice hid;
    ScriptedParser parser;
    PacketRecorder recorder;
    InstanceCounter ownCounter;
    int classFile = 0;
    int helperFile = 0;
    std::unique_ptr<FilterDevice> device;
};

inline std::vector<uint8_t> u32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

} // namespace obx::test
