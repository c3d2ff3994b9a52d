#include "AdmittingListener.h"

#include "Log.h"

#include <sys/socket.h>

namespace obx::kernd {

AdmittingListener::AdmittingListener(EventLoop& loop, std::filesystem::path path, SocketAccess& access,
                                     size_t places, IAdmittedConnections& owner)
    : access_(access), owner_(owner), places_(places),
      listener_(loop, std::move(path), *this, access.socketMode(),
                [&](const std::filesystem::path& file) { access.applyTo(file); }) {
    access_.follow(*this);
}

AdmittingListener::~AdmittingListener() {
    access_.forget(*this);
}

size_t AdmittingListener::takenBy(uid_t peer) const {
    const auto found = takenBy_.find(peer);
    return found == takenBy_.end() ? 0 : found->second;
}

void AdmittingListener::accepted(UniqueFd connection) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(connection.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        !access_.admits(peer.uid)) {
        logf(LogLevel::warning, "%s: connection of user %u refused", path().c_str(), peer.uid);
        return;
    }
    const size_t ownPlaces = takenBy(peer.uid);
    if (taken_ == places_ || 2 * ownPlaces >= places_) {
        logf(LogLevel::warning,
             "%s: connection of user %u refused: %zu of %zu places taken, %zu by that user", path().c_str(),
             peer.uid, taken_, places_, ownPlaces);
        return;
    }
    owner_.accepted(std::move(connection), peer.uid);
}

void AdmittingListener::admissionChanged() {
    access_.applyTo(path());
    owner_.closeUnadmitted();
}

ListenerPlace::ListenerPlace(AdmittingListener& listener, uid_t peer) : listener_(listener), peer_(peer) {
    ++listener_.taken_;
    ++listener_.takenBy_[peer_];
}

ListenerPlace::~ListenerPlace() {
    --listener_.taken_;
    if (--listener_.takenBy_[peer_] == 0)
        listener_.takenBy_.erase(peer_);
}

bool ListenerPlace::admitted() const {
    if (listener_.access_.admits(peer_))
        return true;
    logf(LogLevel::info, "%s: connection of user %u closed: that user is no longer admitted",
         listener_.path().c_str(), peer_);
    return false;
}

} // namespace obx::kernd
