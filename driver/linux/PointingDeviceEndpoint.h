#pragma once

// The socket "pointing-devices" of the runtime folder (wire/PointingDeviceWire.h): whoever may open the
// trackballs' control sockets learns which other pointing devices are present, and when that changes.

#include "AdmittingListener.h"
#include "EventLoop.h"
#include "SeqPacketSocket.h"
#include "SocketAccess.h"
#include "hardware/UnservedDevices.h"

#include <array>
#include <filesystem>
#include <memory>
#include <vector>

namespace obx::kernd {

class PointingDeviceEndpoint final : public IUnservedDevices, private IAdmittedConnections {
public:
    // At most this many clients at a time, half of them of one user: one helper needs one.
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
    class Client;
    void accepted(UniqueFd connection, uid_t peer) override;
    void closeUnadmitted() override;
    void onMessage(SeqPacketConnection& connection, size_t length);
    void remove(const Client& client);
    void sendToAll();
    // The answer to a take or release request.
    std::string choose(const std::string& request, bool taking);

    EventLoop& loop_;
    std::vector<UnservedDevice> devices_;
    IDeviceChoice* choice_ = nullptr;
    std::array<uint8_t, 128> request_{};
    AdmittingListener listener_;
    // Declared after the listener: each client gives its place back when it goes.
    std::vector<std::unique_ptr<Client>> clients_;
};

} // namespace obx::kernd
