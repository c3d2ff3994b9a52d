#pragma once

// The socket "modifiers" of the runtime folder (wire/ModifierWire.h): whoever may open the trackballs'
// control sockets may ask which modifier keys are held.

#include "EventLoop.h"
#include "SeqPacketSocket.h"
#include "SocketAccess.h"
#include "hardware/KeyboardState.h"

#include <array>
#include <filesystem>

namespace obx::kernd {

class ModifierEndpoint final : private IConnectionAcceptor, private IMessageHandler {
public:
    // At most this many clients at a time: one helper needs one.
    static constexpr size_t kMaxClients = 8;

    // Throws std::runtime_error.
    ModifierEndpoint(EventLoop& loop, const std::filesystem::path& runtimeDir, SocketAccess& access);
    ~ModifierEndpoint() override;
    ModifierEndpoint(const ModifierEndpoint&) = delete;
    ModifierEndpoint& operator=(const ModifierEndpoint&) = delete;

private:
    void accepted(UniqueFd connection) override;
    std::span<uint8_t> receiveBuffer() override { return request_; }
    bool onMessage(SeqPacketConnection& connection, size_t length) override;
    void onClosed(SeqPacketConnection& connection) override;

    EventLoop& loop_;
    SocketAccess& access_;
    KeyboardState keyboards_;
    std::array<uint8_t, 16> request_{};
    size_t clientCount_ = 0;
    // Declared before the listener, so that they go after it: no connection is accepted into a set
    // being torn down.
    ConnectionSet clients_;
    SeqPacketListener listener_;
    // Declared last: the file follows the allowed user from its creation to its removal.
    FollowedFile followed_;
};

} // namespace obx::kernd
