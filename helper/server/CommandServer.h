#pragma once

// The loopback HTTP interface of the configuration application: one server
// thread, the route table of the resources, every answer through the
// success or failure response.

#include "platform/OtherPointingDevices.h"
#include "server/DeviceEventFeed.h"
#include "server/HttpServer.h"

#include <cstdint>
#include <thread>

namespace obx {

class IObxDeviceManager;

inline constexpr std::uint16_t defaultCommandPort = 9090;

// OBX_HTTP_PORT when it holds a port number, else 9090.
std::uint16_t commandServerPort();

class CommandServer {
public:
    explicit CommandServer(IObxDeviceManager& deviceManager, std::uint16_t port = commandServerPort());
    virtual ~CommandServer();
    CommandServer(const CommandServer&) = delete;
    CommandServer& operator=(const CommandServer&) = delete;

    void start();
    void stop();

    // The bound port once listening, 0 when the port could not be opened.
    std::uint16_t waitUntilListening() { return server_.waitUntilListening(); }

    // What the device worker reports to, for the event stream.
    DeviceEventSink& deviceEvents() { return events_; }

private:
    IObxDeviceManager& deviceManager_;
    // Ended in the destructor after the server thread, before the feed its follower reports to.
    std::unique_ptr<OtherPointingDevices> otherDevices_ = makeOtherPointingDevices();
    HttpServer server_;
    DeviceEventFeed events_{server_, deviceManager_, *otherDevices_};
    std::thread thread_;
};

} // namespace obx
