#pragma once

// Feeds the helper's event stream from the device worker: button events and
// trackball arrivals and departures. The worker only appends a notice to a
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

class DeviceEventFeed final : public DeviceEventSink {
public:
    // Past this many notices waiting for the server thread, new ones are
    // dropped (and counted in the log) rather than kept without end.
    static constexpr std::size_t noticeLimit = 1024;

    DeviceEventFeed(HttpServer& server, IObxDeviceManager& manager);

    void buttonEvent(std::uint16_t device, std::uint32_t pressed, std::uint32_t released) override;
    void devicesChanged() override;

    // On the server thread: the "devices" event with the document GET
    // /devices answers.
    std::string devicesEvent();

private:
    struct Notice {
        bool devices;
        std::uint16_t device;
        std::uint32_t pressed;
        std::uint32_t released;
    };

    void hand(const Notice& notice);
    // On the server thread.
    void deliver();

    HttpServer& server_;
    IObxDeviceManager& manager_;
    std::mutex mutex_;
    std::vector<Notice> notices_;
    std::size_t dropped_ = 0;
    bool deliveryPosted_ = false;
};

} // namespace obx
