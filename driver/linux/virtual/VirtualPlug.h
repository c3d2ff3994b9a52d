#pragma once

// Plugs and unplugs virtual trackballs while the daemon runs, as a user plugs real ones: each message
// to the socket "virtual-plug" of the runtime folder is one request, answered by one message.
//   "plug"       a new virtual trackball with the next instance number; answer "plugged N"
//   "unplug N"   removes trackball N through the driver's removal path; answer "unplugged N"
// Anything else, an unknown number or a full table is answered with a line starting "error: ".

#include "../EventLoop.h"
#include "../SeqPacketSocket.h"
#include "../Trackball.h"
#include "driver/core/FilterDevice.h"

#include <array>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace obx::kernd {

class VirtualPlug final : private IConnectionAcceptor, private IMessageHandler {
public:
    // At most this many plugged trackballs at a time, so that no client can grow the daemon without end.
    static constexpr size_t kMaxPlugged = 32;

    // Throws std::runtime_error.
    VirtualPlug(EventLoop& loop, driver::InstanceCounter& instances, std::filesystem::path runtimeDir);
    ~VirtualPlug() override;
    VirtualPlug(const VirtualPlug&) = delete;
    VirtualPlug& operator=(const VirtualPlug&) = delete;

    size_t pluggedCount() const { return plugged_.size(); }

    // The answer to one request.
    std::string handle(std::string_view request);

private:
    void accepted(UniqueFd connection) override;
    std::span<uint8_t> receiveBuffer() override { return request_; }
    bool onMessage(SeqPacketConnection& connection, size_t length) override;
    void onClosed(SeqPacketConnection& connection) override;

    std::string plug();
    std::string unplug(std::string_view number);

    EventLoop& loop_;
    driver::InstanceCounter& instances_;
    std::filesystem::path runtimeDir_;
    // Declared first, so that they go last: no request reaches a half-destroyed table.
    std::map<uint32_t, std::unique_ptr<Trackball>> plugged_;
    std::array<uint8_t, 32> request_{};
    ConnectionSet clients_;
    SeqPacketListener listener_;
};

} // namespace obx::kernd
