#pragma once

// The socket "modifiers" of the runtime folder (wire/ModifierWire.h): whoever may open the trackballs'
// control sockets may ask which modifier keys are held on the keyboards of the seat.

#include "AdmittingListener.h"
#include "EventLoop.h"
#include "SeqPacketSocket.h"
#include "SocketAccess.h"
#include "hardware/KeyboardState.h"

#include <array>
#include <filesystem>
#include <memory>
#include <vector>

namespace obx::kernd {

class ModifierEndpoint final : private IAdmittedConnections {
public:
    // At most this many clients at a time, half of them of one user: one helper needs one.
    static constexpr size_t kMaxClients = 8;

    // Throws std::runtime_error.
    ModifierEndpoint(EventLoop& loop, const std::filesystem::path& runtimeDir, SocketAccess& access,
                     const std::string& seat);
    ~ModifierEndpoint() override;
    ModifierEndpoint(const ModifierEndpoint&) = delete;
    ModifierEndpoint& operator=(const ModifierEndpoint&) = delete;

private:
    class Client;

    void accepted(UniqueFd connection, uid_t peer) override;
    void closeUnadmitted() override;
    void answer(SeqPacketConnection& connection);
    void remove(const Client& client);

    EventLoop& loop_;
    KeyboardState keyboards_;
    std::array<uint8_t, 16> request_{};
    AdmittingListener listener_;
    // Declared after the listener: each client gives its place back when it goes.
    std::vector<std::unique_ptr<Client>> clients_;
};

} // namespace obx::kernd
