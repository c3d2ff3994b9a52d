#include "PointingDeviceEndpoint.h"

#include "Log.h"
#include "wire/PointingDeviceWire.h"

#include <algorithm>
#include <cstdio>

namespace obx::kernd {

namespace {

std::string clean(const std::string& text, size_t maxBytes) {
    std::string clean = text.substr(0, maxBytes);
    std::replace_if(
        clean.begin(), clean.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    return clean;
}

} // namespace

// One client: it is served while its user is admitted.
class PointingDeviceEndpoint::Client final : private IMessageHandler {
public:
    Client(PointingDeviceEndpoint& endpoint, UniqueFd fd, uid_t peer)
        : endpoint_(endpoint), place_(endpoint.listener_, peer),
          connection_(endpoint.loop_, std::move(fd), *this) {}

    const ListenerPlace& place() const { return place_; }
    SeqPacketConnection& connection() { return connection_; }

private:
    std::span<uint8_t> receiveBuffer() override { return endpoint_.request_; }
    bool onMessage(SeqPacketConnection& connection, size_t length) override {
        endpoint_.onMessage(connection, length);
        return true;
    }
    void onClosed(SeqPacketConnection&) override { endpoint_.remove(*this); }

    PointingDeviceEndpoint& endpoint_;
    ListenerPlace place_;
    SeqPacketConnection connection_;
};

PointingDeviceEndpoint::PointingDeviceEndpoint(EventLoop& loop, const std::filesystem::path& runtimeDir,
                                               SocketAccess& access)
    : loop_(loop), listener_(loop, runtimeDir / wire::kPointingDeviceSocketName, access, kMaxClients, *this) {
}

PointingDeviceEndpoint::~PointingDeviceEndpoint() = default;

std::vector<uint8_t> PointingDeviceEndpoint::encode(const std::vector<UnservedDevice>& devices) {
    std::string text = std::string(wire::kPointingDeviceHeader) + " " + std::to_string(devices.size()) + "\n";
    for (const UnservedDevice& d : devices) {
        char ids[32];
        std::snprintf(ids, sizeof ids, "%04x:%04x\t%04x\t", d.vendor, d.product, d.bus);
        text += ids + std::to_string(d.summary.buttons) + "\t" + (d.summary.wheel ? "1" : "0") + "\t" +
                (d.summary.pan ? "1" : "0") + "\t" + d.summary.unservable + "\t" +
                clean(d.serial, wire::kMaxSerialBytes) + "\t" + clean(d.name, wire::kMaxNameBytes) + "\n";
    }
    return {text.begin(), text.end()};
}

void PointingDeviceEndpoint::present(const UnservedDevice& device) {
    const bool known = std::any_of(devices_.begin(), devices_.end(),
                                   [&](const UnservedDevice& d) { return d.syspath == device.syspath; });
    if (known)
        return;
    if (devices_.size() == wire::kMaxListed) {
        logf(LogLevel::warning, "%s: not listed: %zu pointing devices listed already", device.syspath.c_str(),
             devices_.size());
        return;
    }
    devices_.push_back(device);
    sendToAll();
}

void PointingDeviceEndpoint::gone(const std::string& syspath) {
    if (std::erase_if(devices_, [&](const UnservedDevice& d) { return d.syspath == syspath; }) != 0)
        sendToAll();
}

void PointingDeviceEndpoint::sendToAll() {
    const auto list = encode(devices_);
    for (const auto& client : clients_)
        client->connection().send(list);
}

void PointingDeviceEndpoint::accepted(UniqueFd connection, uid_t peer) {
    clients_.push_back(std::make_unique<Client>(*this, std::move(connection), peer));
    clients_.back()->connection().send(encode(devices_));
}

void PointingDeviceEndpoint::closeUnadmitted() {
    std::erase_if(clients_, [](const auto& client) { return !client->place().admitted(); });
}

void PointingDeviceEndpoint::remove(const Client& client) {
    std::erase_if(clients_, [&](const auto& c) { return c.get() == &client; });
}

void PointingDeviceEndpoint::onMessage(SeqPacketConnection& connection, size_t length) {
    // The length is the message's own, also when it did not fit the buffer.
    const std::string request(reinterpret_cast<const char*>(request_.data()),
                              std::min(length, request_.size()));
    const bool taking = request.starts_with("take ");
    if (!taking && !request.starts_with("release ")) {
        connection.send(encode(devices_));
        return;
    }
    const std::string answer =
        length > request_.size() ? "error: the request is too long" : choose(request, taking);
    connection.send(std::span(reinterpret_cast<const uint8_t*>(answer.data()), answer.size()));
}

std::string PointingDeviceEndpoint::choose(const std::string& request, bool taking) {
    // "take VVVV:PPPP" or "release VVVV:PPPP", then optionally one blank and the serial.
    const std::string arguments = request.substr(request.find(' ') + 1);
    const std::string ids = arguments.substr(0, arguments.find(' '));
    const bool named = ids.size() < arguments.size(); // a blank after the ids: a serial must follow
    const std::string serial = named ? arguments.substr(ids.size() + 1) : "";
    unsigned vendor = 0, product = 0;
    int used = 0;
    const bool idsRight = ids.size() == 9 && ids[4] == ':' &&
                          ids.find_first_not_of("0123456789abcdefABCDEF:") == std::string::npos &&
                          std::sscanf(ids.c_str(), "%4x:%4x%n", &vendor, &product, &used) == 2 && used == 9;
    const bool serialRight = serial.size() <= wire::kMaxSerialBytes &&
                             (serial.empty() ? !named : serial.front() != ' ' && serial.back() != ' ') &&
                             std::none_of(serial.begin(), serial.end(),
                                          [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (!idsRight || !serialRight)
        return "error: expected \"take VVVV:PPPP [SERIAL]\" or \"release VVVV:PPPP [SERIAL]\", "
               "the ids in four hexadecimal digits each";
    if (choice_ == nullptr)
        return "error: devices cannot be chosen here";
    const auto v = static_cast<uint16_t>(vendor), p = static_cast<uint16_t>(product);
    return taking ? choice_->take(v, p, serial) : choice_->release(v, p, serial);
}

} // namespace obx::kernd
