#pragma once

// The socket "pointing-devices" of the runtime folder (wire/PointingDeviceWire.h): whoever may open the
// trackballs' control sockets learns which other pointing devices are present, and when that changes.

#include "EventLoop.h"
#include "SeqPacketSocket.h"
#include "SocketAccess.h"
#include "hardware/UnservedDevices.h"

#include <array>
#include <filesystem>
#include <vector>

namespace obx::kernd {

class PointingDeviceEndpoint final : public IUnservedDevices,
                                     private IConnectionAcceptor,
                                     private IMessageHandler {
public:
    // At most this many clients at a time: one helper needs one.
    static constexpr size_t kMaxClients = 8;

    // Throws std::runtime_error.
    PointingDeviceEndpoint(EventLoop& loop, const std::filesystem::path& runtimeDir, SocketAccess& access);
    ~PointingDeviceEndpoint() override;
    PointingDeviceEndpoint(const PointingDeviceEndpoint&) = delete;
    PointingDeviceEndpoint& operator=(const PointingDeviceEndpoint&) = delete;

    // Requests "take VVVV:PPPP [SERIAL]" and "release VVVV:PPPP [SERIAL]" go to `choice` from now on;
    // before, they are answered with an error.
    void chooseThrough(IDeviceChoice& choice) { choice_ = &choice; }
    void present(const UnservedDevice& device) override;
    void gone(const std::string& syspath) override;

    // The list as the socket sends it.
    static std::vector<uint8_t> encode(const std::vector<UnservedDevice>& devices);

private:
    void accepted(UniqueFd connection) override;
    std::span<uint8_t> receiveBuffer() override { return request_; }
    bool onMessage(SeqPacketConnection& connection, size_t length) override;
    void onClosed(SeqPacketConnection& connection) override;
    // The answer to a take or release request.
    std::string choose(const std::string& request, bool taking);

    EventLoop& loop_;
    SocketAccess& access_;
    std::vector<UnservedDevice> devices_;
    IDeviceChoice* choice_ = nullptr;
    std::array<uint8_t, 128> request_{};
    size_t clientCount_ = 0;
    // Declared before the listener, so that they go after it: no connection is accepted into a set
    // being torn down.
    ConnectionSet clients_;
    SeqPacketListener listener_;
    // Declared last: the file follows the allowed user from its creation to its removal.
    FollowedFile followed_;
};

} // namespace obx::kernd
