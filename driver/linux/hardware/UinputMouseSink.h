#pragma once

// The mouse above a real trackball: a uinput device named after it, with relative motion, both wheels
// (in notches and in high resolution) and five buttons. Each packet becomes its events and one
// SYN_REPORT.

#include "../MouseSink.h"
#include "../UniqueFd.h"
#include "EvdevPacket.h"

#include <cstdint>
#include <string>

struct libevdev;
struct libevdev_uinput;

namespace obx::kernd {

struct UinputIdentity {
    std::string name;
    uint16_t vendor = 0;
    uint16_t product = 0;
    uint16_t version = 0;
};

class UinputMouseSink final : public MouseSink {
public:
    // Throws std::runtime_error when /dev/uinput cannot make the device.
    explicit UinputMouseSink(const UinputIdentity& identity);
    ~UinputMouseSink() override;
    UinputMouseSink(const UinputMouseSink&) = delete;
    UinputMouseSink& operator=(const UinputMouseSink&) = delete;

    void deliver(const driver::MouseInputData& packet) override;

    // The event node of the device, as the kernel names it ("/dev/input/eventN"); empty when unknown.
    std::string devnode() const;

private:
    UniqueFd fd_;
    libevdev* device_ = nullptr;
    libevdev_uinput* uinput_ = nullptr;
    EvdevPacketTranslator translator_;
    EvdevPacketTranslator::Events events_{};
    bool writeFailed_ = false;
};

} // namespace obx::kernd
