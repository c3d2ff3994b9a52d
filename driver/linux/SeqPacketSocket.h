#pragma once

// Unix-domain SOCK_SEQPACKET endpoints of the runtime folder: a listener that owns its socket file, and
// one accepted connection, which hands each message to its owner.

#include "EventLoop.h"
#include "UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <sys/types.h>
#include <vector>

namespace obx::kernd {

class SeqPacketConnection;

// Removes the socket files in `folder` that nothing answers on: those of a daemon that died. Clients
// take each socket file for a trackball that is there, so one whose instance the next daemon does not
// make again would stand for a trackball that is gone.
void removeSocketsLeftBehind(const std::filesystem::path& folder);

// A non-blocking connection to the listener at `path`; invalid (errno set) when nothing answers there.
UniqueFd connectSeqPacket(const std::filesystem::path& path);

class IConnectionAcceptor {
public:
    virtual ~IConnectionAcceptor() = default;
    virtual void accepted(UniqueFd connection) = 0;
};

class SeqPacketListener final : private IEventHandler {
public:
    // The file appears under its name only once it listens, with `mode` and whatever `prepare` does to
    // it (under a temporary name), so that a client never finds it refusing or out of reach. A socket
    // file left behind by a daemon that died is replaced; one that a running daemon answers on, or a
    // file that is no socket, is an error. Throws std::runtime_error.
    SeqPacketListener(EventLoop& loop, std::filesystem::path path, IConnectionAcceptor& acceptor,
                      mode_t mode = 0666,
                      const std::function<void(const std::filesystem::path&)>& prepare = {});
    // Closes the socket and removes its file.
    ~SeqPacketListener() override;
    SeqPacketListener(const SeqPacketListener&) = delete;
    SeqPacketListener& operator=(const SeqPacketListener&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    void onEvents(uint32_t events) override;

    EventLoop& loop_;
    std::filesystem::path path_;
    IConnectionAcceptor& acceptor_;
    UniqueFd fd_;
};

class IMessageHandler {
public:
    virtual ~IMessageHandler() = default;
    // Where the next message is received.
    virtual std::span<uint8_t> receiveBuffer() = 0;
    // `length` is the message's real length, which exceeds the buffer when the message was cut.
    // Returning false closes the connection.
    virtual bool onMessage(SeqPacketConnection& connection, size_t length) = 0;
    // The connection is over; the owner may destroy it here, and nothing touches it afterwards.
    virtual void onClosed(SeqPacketConnection& connection) = 0;
};

class SeqPacketConnection final : private IEventHandler {
public:
    SeqPacketConnection(EventLoop& loop, UniqueFd fd, IMessageHandler& handler);
    ~SeqPacketConnection() override;
    SeqPacketConnection(const SeqPacketConnection&) = delete;
    SeqPacketConnection& operator=(const SeqPacketConnection&) = delete;

    // Never blocks. A peer that does not take its messages is cut off: the connection ends at the next
    // round of the loop. Returns whether the message was queued.
    bool send(std::span<const uint8_t> message);

private:
    void onEvents(uint32_t events) override;
    void cutOff(const char* why);

    EventLoop& loop_;
    UniqueFd fd_;
    IMessageHandler& handler_;
    bool cut_ = false;
};

// The connections of one listener.
class ConnectionSet {
public:
    SeqPacketConnection& add(EventLoop& loop, UniqueFd fd, IMessageHandler& handler) {
        connections_.push_back(std::make_unique<SeqPacketConnection>(loop, std::move(fd), handler));
        return *connections_.back();
    }
    void remove(const SeqPacketConnection& connection) {
        std::erase_if(connections_, [&](const auto& c) { return c.get() == &connection; });
    }
    void sendToAll(std::span<const uint8_t> message) {
        for (const auto& c : connections_)
            c->send(message);
    }

private:
    std::vector<std::unique_ptr<SeqPacketConnection>> connections_;
};

} // namespace obx::kernd
