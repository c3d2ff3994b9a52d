#pragma once

// One trackball session with the driver: identifies the trackball, registers
// the helper, keeps one read outstanding through which the driver hands over
// button events, and pushes the configuration to the system and the driver.

#include "devices/DeviceBase.h"
#include "devices/DeviceEventSink.h"
#include "devices/DriverChannel.h"
#include "driver/shared/ObxControl.h"

#include <array>
#include <memory>
#include <span>
#include <string>

namespace obx {

class MsgWFMOHandler;

class Device : public DeviceBase {
public:
    // Opens nothing yet.
    Device(MsgWFMOHandler& worker, std::string devicePath, std::unique_ptr<IDriverChannel> channel);
    // Ends the read before its buffer goes.
    ~Device() override;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    void applyPointerConfig() override;
    void applyScrollConfig() override;
    // Answers whether the driver took the map; no caller relies on it.
    bool applyButtonConfig() override;

    // The session set-up, on the worker; throws the step's failure.
    virtual void open();
    // True only when the driver answered exactly size bytes.
    virtual bool queryDriver(std::uint32_t code, std::span<std::uint8_t> output);
    virtual bool sendToDriver(std::uint32_t code, std::span<const std::uint8_t> input);

    // While learning, every button event goes to the helper (buildLearningButtonMap) and only to
    // the event sink, running no action; the configuration's own map comes back when it ends.
    // Sends the map that follows, once the device has a configuration.
    void setLearning(bool learning);

    const std::string& devicePath() const { return devicePath_; }
    // Each button event goes to sink as well, before its action; null
    // reports to none. The sink must outlive the device's reads.
    void reportEventsTo(DeviceEventSink* sink) { eventSink_ = sink; }

private:
    void readDriverInfo();
    void readDeviceInfo();
    void queueRead();
    void onReadComplete();
    void dispatchReadEvent();

    MsgWFMOHandler& worker_;
    std::string devicePath_;
    std::unique_ptr<IDriverChannel> channel_;
    DeviceEventSink* eventSink_ = nullptr;
    bool readRegistered_ = false;
    bool learning_ = false;
    // Reused for every read: the event path allocates nothing.
    alignas(8) std::array<std::uint8_t, sizeof(OBX_BUTTON_EVENT)> readBuffer_{};
};

} // namespace obx
