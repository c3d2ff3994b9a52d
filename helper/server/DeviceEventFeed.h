#pragma once

// Feeds the helper's event stream from the device worker: button events,
// trackball arrivals and departures, and changes of the status notices. The worker only appends a notice to a
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
    // From any thread: the status notices changed.
    void statusChanged();

    // On the server thread: the "devices" event with the document GET
    // /devices answers.
    std::string devicesEvent();
    // The "status" event with the document GET /status answers.
    static std::string statusEvent();

private:
    enum class Kind : std::uint8_t { button, devices, status };
    struct Notice {
        Kind kind;
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
