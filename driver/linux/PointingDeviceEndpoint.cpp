#include "PointingDeviceEndpoint.h"

#include "Log.h"
#include "wire/PointingDeviceWire.h"

#include <algorithm>
#include <cstdio>

namespace obx::kernd {

namespace {

std::string cleanName(const std::string& name) {
    std::string clean = name.substr(0, wire::kMaxNameBytes);
    std::replace_if(
        clean.begin(), clean.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    return clean;
}

} // namespace

PointingDeviceEndpoint::PointingDeviceEndpoint(EventLoop& loop, const std::filesystem::path& runtimeDir,
                                               SocketAccess& access)
    : loop_(loop), access_(access),
      listener_(loop, runtimeDir / wire::kPointingDeviceSocketName, *this, access.socketMode(),
                [&](const std::filesystem::path& file) { access.applyTo(file); }),
      followed_(access, listener_.path()) {}

PointingDeviceEndpoint::~PointingDeviceEndpoint() = default;

std::vector<uint8_t> PointingDeviceEndpoint::encode(const std::vector<UnservedDevice>& devices) {
    std::string text = std::string(wire::kPointingDeviceHeader) + " " + std::to_string(devices.size()) + "\n";
    for (const UnservedDevice& d : devices) {
        char ids[32];
        std::snprintf(ids, sizeof ids, "%04x:%04x\t%04x\t", d.vendor, d.product, d.bus);
        text += ids + std::to_string(d.summary.buttons) + "\t" + (d.summary.wheel ? "1" : "0") + "\t" +
                (d.summary.pan ? "1" : "0") + "\t" + d.summary.unservable + "\t" + cleanName(d.name) + "\n";
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
    clients_.sendToAll(encode(devices_));
}

void PointingDeviceEndpoint::gone(const std::string& syspath) {
    if (std::erase_if(devices_, [&](const UnservedDevice& d) { return d.syspath == syspath; }) != 0)
        clients_.sendToAll(encode(devices_));
}

void PointingDeviceEndpoint::accepted(UniqueFd connection) {
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
    clients_.add(loop_, std::move(connection), *this).send(encode(devices_));
}

bool PointingDeviceEndpoint::onMessage(SeqPacketConnection& connection, size_t length) {
    const std::string request(reinterpret_cast<const char*>(request_.data()), length);
    unsigned vendor = 0, product = 0;
    char verb[8] = {};
    int used = 0;
    const bool choosing = request.starts_with("take ") || request.starts_with("release ");
    if (!choosing) {
        connection.send(encode(devices_));
        return true;
    }
    std::string answer;
    if (std::sscanf(request.c_str(), "%7s %4x:%4x%n", verb, &vendor, &product, &used) != 3 ||
        static_cast<size_t>(used) != request.size())
        answer = "error: expected \"take VVVV:PPPP\" or \"release VVVV:PPPP\" in hexadecimal";
    else if (choice_ == nullptr)
        answer = "error: devices cannot be chosen here";
    else if (std::string(verb) == "take")
        answer = choice_->take(static_cast<uint16_t>(vendor), static_cast<uint16_t>(product));
    else
        answer = choice_->release(static_cast<uint16_t>(vendor), static_cast<uint16_t>(product));
    connection.send(std::span(reinterpret_cast<const uint8_t*>(answer.data()), answer.size()));
    return true;
}

void PointingDeviceEndpoint::onClosed(SeqPacketConnection& connection) {
    --clientCount_;
    clients_.remove(connection);
}

} // namespace obx::kernd
