#include "ModifierEndpoint.h"

#include "wire/ModifierWire.h"

namespace obx::kernd {

// One client: it is answered while its user is admitted.
class ModifierEndpoint::Client final : private IMessageHandler {
public:
    Client(ModifierEndpoint& endpoint, UniqueFd fd, uid_t peer)
        : endpoint_(endpoint), place_(endpoint.listener_, peer),
          connection_(endpoint.loop_, std::move(fd), *this) {}

    const ListenerPlace& place() const { return place_; }

private:
    std::span<uint8_t> receiveBuffer() override { return endpoint_.request_; }
    bool onMessage(SeqPacketConnection& connection, size_t) override {
        endpoint_.answer(connection);
        return true;
    }
    void onClosed(SeqPacketConnection&) override { endpoint_.remove(*this); }

    ModifierEndpoint& endpoint_;
    ListenerPlace place_;
    SeqPacketConnection connection_;
};

ModifierEndpoint::ModifierEndpoint(EventLoop& loop, const std::filesystem::path& runtimeDir,
                                   SocketAccess& access, const std::string& seat)
    : loop_(loop), keyboards_(seat),
      listener_(loop, runtimeDir / wire::kModifierSocketName, access, kMaxClients, *this) {}

ModifierEndpoint::~ModifierEndpoint() = default;

void ModifierEndpoint::accepted(UniqueFd connection, uid_t peer) {
    clients_.push_back(std::make_unique<Client>(*this, std::move(connection), peer));
}

void ModifierEndpoint::closeUnadmitted() {
    std::erase_if(clients_, [](const auto& client) { return !client->place().admitted(); });
}

void ModifierEndpoint::answer(SeqPacketConnection& connection) {
    const uint32_t held = keyboards_.held();
    const uint8_t answer[wire::kModifierAnswerSize] = {
        static_cast<uint8_t>(held), static_cast<uint8_t>(held >> 8), static_cast<uint8_t>(held >> 16),
        static_cast<uint8_t>(held >> 24)};
    connection.send(answer);
}

void ModifierEndpoint::remove(const Client& client) {
    std::erase_if(clients_, [&](const auto& c) { return c.get() == &client; });
}

} // namespace obx::kernd
