#pragma once

// A listening socket whose connections are served only while the socket's access admits their peers.
// A user holds at most half of its places, so that one user (the seat's, or root) cannot shut the other
// out. When the admitted users change, the file gets its owner again and the owner of the connections
// closes those whose peers are no longer admitted, at once.

#include "EventLoop.h"
#include "SeqPacketSocket.h"
#include "SocketAccess.h"
#include "UniqueFd.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <sys/types.h>

namespace obx::kernd {

class IAdmittedConnections {
public:
    virtual ~IAdmittedConnections() = default;
    // A connection whose peer is `peer`, admitted, with a place free for it: the connection takes it
    // with a ListenerPlace.
    virtual void accepted(UniqueFd connection, uid_t peer) = 0;
    // The admitted users changed: every connection whose place is no longer admitted() goes now.
    virtual void closeUnadmitted() = 0;
};

class AdmittingListener final : private IConnectionAcceptor, private IAdmissionFollower {
public:
    // Throws std::runtime_error.
    AdmittingListener(EventLoop& loop, std::filesystem::path path, SocketAccess& access, size_t places,
                      IAdmittedConnections& owner);
    ~AdmittingListener() override;
    AdmittingListener(const AdmittingListener&) = delete;
    AdmittingListener& operator=(const AdmittingListener&) = delete;

    const std::filesystem::path& path() const { return listener_.path(); }

private:
    friend class ListenerPlace;

    void accepted(UniqueFd connection) override;
    void admissionChanged() override;
    size_t takenBy(uid_t peer) const;

    SocketAccess& access_;
    IAdmittedConnections& owner_;
    size_t places_;
    size_t taken_ = 0;
    std::map<uid_t, size_t> takenBy_;
    SeqPacketListener listener_;
};

// The place of one connection on its listener, from its acceptance to its end. The connection must go
// before the listener.
class ListenerPlace {
public:
    ListenerPlace(AdmittingListener& listener, uid_t peer);
    ~ListenerPlace();
    ListenerPlace(const ListenerPlace&) = delete;
    ListenerPlace& operator=(const ListenerPlace&) = delete;

    uid_t peer() const { return peer_; }
    // Whether the socket's access still admits the peer; a connection lives only while it does. A place
    // no longer admitted is logged, for its connection is closed.
    bool admitted() const;

private:
    AdmittingListener& listener_;
    uid_t peer_;
};

} // namespace obx::kernd
