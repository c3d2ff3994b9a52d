#pragma once

// The control socket of one trackball: each connection is one open handle (file object) of its control
// device, and each request message becomes a device control or a read on it.

#include "AdmittingListener.h"
#include "EventLoop.h"
#include "SocketAccess.h"
#include "driver/core/ControlDevice.h"
#include "wire/ControlWire.h"

#include <array>
#include <filesystem>
#include <memory>
#include <vector>

namespace obx::kernd {

class ControlConnection;

class ControlEndpoint final : private IAdmittedConnections {
public:
    // The largest input and output buffer of a device control; larger ones fail as a system would that
    // cannot allocate them.
    static constexpr size_t kMaxBufferBytes = 64 * 1024;
    // Reads waiting at once on one connection; the next one fails at once, so that a client cannot
    // grow the daemon's memory without end.
    static constexpr size_t kMaxPendingReads = 8;
    // Open handles at once; one user holds at most half of them. The helper needs one.
    static constexpr size_t kMaxConnections = 16;

    // Throws std::runtime_error.
    ControlEndpoint(EventLoop& loop, std::filesystem::path path, driver::ControlDevice& device,
                    SocketAccess& access);
    ~ControlEndpoint() override;

    const std::filesystem::path& path() const { return listener_.path(); }

private:
    friend class ControlConnection;

    void accepted(UniqueFd connection, uid_t peer) override;
    void closeUnadmitted() override;
    void release(ControlConnection& connection);

    EventLoop& loop_;
    driver::ControlDevice& device_;
    // One request at a time is handled, so the connections share it. The completion's header is
    // written just before the output so that both leave in one send.
    std::array<uint8_t, wire::kRequestHeaderSize + kMaxBufferBytes> buffer_{};
    AdmittingListener listener_;
    // Declared after the listener: each connection gives its place back when it goes.
    std::vector<std::unique_ptr<ControlConnection>> connections_;
};

} // namespace obx::kernd
