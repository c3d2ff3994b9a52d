#include "VirtualPlug.h"

#include "../Log.h"
#include "../Options.h"
#include "VirtualTrackball.h"

#include <charconv>
#include <exception>

namespace obx::kernd {

namespace {

constexpr std::string_view kPlug = "plug";
constexpr std::string_view kUnplug = "unplug ";

} // namespace

VirtualPlug::VirtualPlug(EventLoop& loop, driver::InstanceCounter& instances,
                         std::filesystem::path runtimeDir)
    : loop_(loop), instances_(instances), runtimeDir_(std::move(runtimeDir)),
      // Only the daemon's own user plugs trackballs.
      listener_(loop, runtimeDir_ / "virtual-plug", *this, 0600) {}

VirtualPlug::~VirtualPlug() = default;

std::string VirtualPlug::handle(std::string_view request) {
    if (request == kPlug)
        return plug();
    if (request.starts_with(kUnplug))
        return unplug(request.substr(kUnplug.size()));
    return "error: unknown request";
}

std::string VirtualPlug::plug() {
    if (plugged_.size() >= kMaxPlugged)
        return "error: too many trackballs";
    const uint32_t instance = instances_.next();
    try {
        plugged_.emplace(instance,
                         makeVirtualTrackball(loop_, instance, VirtualTrackballOptions{}, runtimeDir_));
    } catch (const std::exception& e) {
        logf(LogLevel::error, "%s", e.what());
        return "error: the trackball does not start";
    }
    logf(LogLevel::info, "trackball %02u plugged", instance);
    return "plugged " + std::to_string(instance);
}

std::string VirtualPlug::unplug(std::string_view number) {
    uint32_t instance = 0;
    const auto [end, failure] = std::from_chars(number.data(), number.data() + number.size(), instance);
    const auto found = failure == std::errc() && end == number.data() + number.size()
                           ? plugged_.find(instance)
                           : plugged_.end();
    if (found == plugged_.end())
        return "error: no plugged trackball " + std::string(number);
    plugged_.erase(found);
    logf(LogLevel::info, "trackball %02u unplugged", instance);
    return "unplugged " + std::to_string(instance);
}

void VirtualPlug::accepted(UniqueFd connection) {
    clients_.add(loop_, std::move(connection), *this);
}

bool VirtualPlug::onMessage(SeqPacketConnection& connection, size_t length) {
    const std::string answer =
        length > request_.size()
            ? std::string("error: request too long")
            : handle(std::string_view(reinterpret_cast<const char*>(request_.data()), length));
    connection.send(std::span(reinterpret_cast<const uint8_t*>(answer.data()), answer.size()));
    return true;
}

void VirtualPlug::onClosed(SeqPacketConnection& connection) {
    clients_.remove(connection);
}

} // namespace obx::kernd
