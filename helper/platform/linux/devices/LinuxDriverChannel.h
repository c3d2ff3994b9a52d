#pragma once

// The driver channel of one trackball served by obxkernd: one connection to
// its control socket. Completions come back matched by request id; a read
// completion that arrives while a device control waits is kept and signalled
// for the worker. A device control waits a bounded time; a daemon that lets
// it pass is treated as gone.

#include "devices/DriverChannel.h"
#include "driver/linux/wire/ControlWire.h"

#include <array>
#include <filesystem>

namespace obx {

class LinuxDriverChannel final : public IDriverChannel {
public:
    explicit LinuxDriverChannel(std::filesystem::path socket);
    ~LinuxDriverChannel() override;
    LinuxDriverChannel(const LinuxDriverChannel&) = delete;
    LinuxDriverChannel& operator=(const LinuxDriverChannel&) = delete;

    bool open() override;
    std::optional<std::uint32_t> control(std::uint32_t code, std::span<const std::uint8_t> input,
                                         std::span<std::uint8_t> output) override;
    bool queueRead(std::span<std::uint8_t> buffer) override;
    // Readable when the socket has a message or a kept read completion waits.
    WaitHandle readHandle() const override { return readiness_; }
    ReadState takeReadResult() override;
    void close() override;

private:
    enum class Read { idle, waiting, completed, failed };

    bool send(std::uint32_t id, std::uint32_t kind, std::uint32_t code, std::span<const std::uint8_t> input,
              std::uint32_t outputLength);
    // One message into received_, without blocking; its length, 0 when none
    // waits, -1 when the connection ended.
    long receive();
    // Takes the received message when it completes the read; true if so.
    bool keepReadCompletion(const wire::CompletionHeader& header);
    void connectionEnded();

    std::filesystem::path path_;
    int socket_ = -1;
    int readiness_ = -1; // epoll over the socket and kept_
    int kept_ = -1;      // eventfd: a read completion was kept
    std::uint32_t nextId_ = 1;
    std::uint32_t readId_ = 0;
    Read read_ = Read::idle;
    bool ended_ = false;
    std::span<std::uint8_t> readBuffer_;
    // Large enough for every record of the control interface.
    std::array<std::uint8_t, 4096> received_{};
};

} // namespace obx
