#pragma once

// The mouse sink of a virtual trackball: every packet goes, as one text message, to every reader
// connected to its socket.

#include "../EventLoop.h"
#include "../MouseSink.h"
#include "../SeqPacketSocket.h"

#include <array>
#include <filesystem>

namespace obx::kernd {

class VirtualMouseSink final : public MouseSink, private IConnectionAcceptor, private IMessageHandler {
public:
    // Throws std::runtime_error.
    VirtualMouseSink(EventLoop& loop, std::filesystem::path path);
    ~VirtualMouseSink() override;

    void deliver(const driver::MouseInputData& packet) override;

private:
    void accepted(UniqueFd connection) override;
    // Readers have nothing to say; what they send is read only to notice that they left.
    std::span<uint8_t> receiveBuffer() override { return discard_; }
    bool onMessage(SeqPacketConnection&, size_t) override { return true; }
    void onClosed(SeqPacketConnection& connection) override;

    EventLoop& loop_;
    std::array<uint8_t, 64> discard_{};
    ConnectionSet readers_;
    SeqPacketListener listener_;
};

} // namespace obx::kernd
