#include "ModifierEndpoint.h"

#include "Log.h"
#include "wire/ModifierWire.h"

namespace obx::kernd {

ModifierEndpoint::ModifierEndpoint(EventLoop& loop, const std::filesystem::path& runtimeDir,
                                   SocketAccess& access)
    : loop_(loop), access_(access),
      listener_(loop, runtimeDir / wire::kModifierSocketName, *this, access.socketMode(),
                [&](const std::filesystem::path& file) { access.applyTo(file); }),
      followed_(access, listener_.path()) {}

ModifierEndpoint::~ModifierEndpoint() = default;

void ModifierEndpoint::accepted(UniqueFd connection) {
    uid_t peer = 0;
    if (!admitsPeer(access_, connection.get(), peer)) {
        logf(LogLevel::warning, "%s: connection of user %u refused", listener_.path().c_str(), peer);
        return;
    }
    if (clientCount_ == kMaxClients) {
        logf(LogLevel::warning, "%s: connection refused, %zu clients already", listener_.path().c_str(),
             clientCount_);
        return;
    }
    ++clientCount_;
    clients_.add(loop_, std::move(connection), *this);
}

bool ModifierEndpoint::onMessage(SeqPacketConnection& connection, size_t) {
    const uint32_t held = keyboards_.held();
    const uint8_t answer[wire::kModifierAnswerSize] = {
        static_cast<uint8_t>(held), static_cast<uint8_t>(held >> 8), static_cast<uint8_t>(held >> 16),
        static_cast<uint8_t>(held >> 24)};
    connection.send(answer);
    return true;
}

void ModifierEndpoint::onClosed(SeqPacketConnection& connection) {
    --clientCount_;
    clients_.remove(connection);
}

} // namespace obx::kernd
