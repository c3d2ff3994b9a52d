#pragma once

// The HID source of a virtual trackball: every message written to its socket is one input report.

#include "../EventLoop.h"
#include "../HidSource.h"
#include "../SeqPacketSocket.h"
#include "driver/hid/HidPreparsedData.h"

#include <array>
#include <filesystem>

namespace obx::kernd {

class VirtualHidSource final : public HidSource, private IConnectionAcceptor, private IMessageHandler {
public:
    // Throws std::runtime_error.
    VirtualHidSource(EventLoop& loop, std::filesystem::path path, HidIdentity identity);
    ~VirtualHidSource() override;

    const HidIdentity& identity() const override { return identity_; }
    void attach(IReportSink& sink) override { sink_ = &sink; }

private:
    void accepted(UniqueFd connection) override;
    std::span<uint8_t> receiveBuffer() override { return report_; }
    bool onMessage(SeqPacketConnection& connection, size_t length) override;
    void onClosed(SeqPacketConnection& connection) override;

    EventLoop& loop_;
    HidIdentity identity_;
    IReportSink* sink_ = nullptr;
    std::array<uint8_t, hid::HidPreparsedData::kMaxReportBytes> report_{};
    ConnectionSet writers_;
    SeqPacketListener listener_;
};

} // namespace obx::kernd
