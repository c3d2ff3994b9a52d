#pragma once

// What the parts of the guest probe share: the result lines, a UHID device that answers the kernel's
// feature requests, and a reader of one evdev node.

#include "UniqueFd.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <linux/input.h>
#include <linux/uhid.h>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace obx::guest {

using namespace std::chrono_literals;

// Generous: the guest runs without acceleration on a busy machine.
inline constexpr auto kWait = 30s;

// One result line "obx-guest: ok|FAIL WHAT[: DETAIL]"; a failure fails the run.
void check(bool ok, const char* what, const std::string& detail = {});
bool allPassed();

template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds limit = kWait) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

int64_t monotonicMicros();
int64_t eventMicros(const input_event& event);

// A HID device made through /dev/uhid. Its feature reports are kept as the kernel sets them and given
// back when asked (the kernel sets Resolution Multipliers when it binds the device, and obxkernd reads
// them through hidraw): a thread answers the device's requests while it lives.
class Uhid {
public:
    Uhid();
    ~Uhid();
    Uhid(const Uhid&) = delete;
    Uhid& operator=(const Uhid&) = delete;

    bool open() const { return bool(fd_); }
    bool create(const std::string& name, uint16_t vendor, uint16_t product,
                std::span<const uint8_t> descriptor, uint16_t bus = BUS_USB);
    // One input report, report id first when the device uses ids.
    bool report(std::span<const uint8_t> bytes);
    bool destroy();

private:
    void answerRequests();
    bool write(const uhid_event& event);

    obx::kernd::UniqueFd fd_;
    std::mutex featuresLock_;
    std::map<uint8_t, std::vector<uint8_t>> features_; // by report id, as the kernel last set them
    std::atomic<bool> stop_{false};
    std::thread answers_;
};

class EvdevReader {
public:
    explicit EvdevReader(const std::string& node);
    bool open() const { return bool(fd_); }

    // The events up to the next SYN_REPORT; empty when none came in time.
    std::vector<input_event> nextReport(std::chrono::milliseconds limit = 10s);
    // Every event that is there now, without waiting.
    std::vector<input_event> available();
    // Whether nothing at all can be read within the time.
    bool quietFor(std::chrono::milliseconds limit);

private:
    obx::kernd::UniqueFd fd_;
};

std::string readText(const std::string& file);
// The event node of the input device with this name: a uinput device (the daemon's mouse) or not (one
// of a UHID device's own).
std::optional<std::string> eventNodeNamed(const std::string& name, bool uinputDevice);
bool hasEvent(const std::vector<input_event>& events, uint16_t type, uint16_t code, int32_t value);
std::string describe(const std::vector<input_event>& events);

} // namespace obx::guest
