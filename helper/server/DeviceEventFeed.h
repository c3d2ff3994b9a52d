#pragma once

// Feeds the helper's event stream from the device worker: button events,
// trackball arrivals and departures, changes of the status notices and of
// the other pointing devices. The worker only appends a notice to a
// bounded list under a lock held for that alone, and the server thread turns
// the notices into events; the worker never waits for a subscriber.

#include "devices/DeviceEventSink.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace obx {

class HttpServer;
class IObxDeviceManager;
class OtherPointingDevices;

class DeviceEventFeed final : public DeviceEventSink {
public:
    // Past this many notices waiting for the server thread, new ones are
    // dropped (and counted in the log) rather than kept without end.
    static constexpr std::size_t noticeLimit = 1024;

    DeviceEventFeed(HttpServer& server, IObxDeviceManager& manager, OtherPointingDevices& otherDevices);

    void buttonEvent(std::uint16_t device, std::uint32_t pressed, std::uint32_t released) override;
    void devicesChanged() override;
    void learningChanged(std::uint16_t device, bool learning) override;
    // From any thread: the status notices changed.
    void statusChanged();
    // From any thread: the pointing devices that the driver does not serve changed.
    void otherDevicesChanged();

    // On the server thread: the "devices" event with the document GET
    // /devices answers.
    std::string devicesEvent();
    // The "status" event with the document GET /status answers.
    static std::string statusEvent();
    // The "otherDevices" event with the document GET /devices/other answers.
    std::string otherDevicesEvent();

private:
    enum class Kind : std::uint8_t { button, learning, devices, status, otherDevices };
    struct Notice {
        Kind kind;
        std::uint16_t device;
        std::uint32_t pressed;
        std::uint32_t released;
        bool learning = false;
    };

    void hand(const Notice& notice);
    // On the server thread.
    void deliver();

    HttpServer& server_;
    IObxDeviceManager& manager_;
    OtherPointingDevices& otherDevices_;
    std::mutex mutex_;
    std::vector<Notice> notices_;
    std::size_t dropped_ = 0;
    bool deliveryPosted_ = false;
};

} // namespace obx
