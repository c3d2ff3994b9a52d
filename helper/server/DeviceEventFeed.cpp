#include "server/DeviceEventFeed.h"

#include "base/Log.h"
#include "devices/IObxDeviceManager.h"
#include "platform/OtherPointingDevices.h"
#include "server/HttpServer.h"
#include "server/OtherDevices.h"
#include "server/Resources.h"

#include <nlohmann/json.hpp>

namespace obx {

namespace {

std::string event(std::string_view name, const nlohmann::json& data) {
    // The compact dump has no line break, so the data is one "data:" line.
    return std::string("event: ")
        .append(name)
        .append("\ndata: ")
        .append(data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))
        .append("\n\n");
}

} // namespace

DeviceEventFeed::DeviceEventFeed(HttpServer& server, IObxDeviceManager& manager,
                                 OtherPointingDevices& otherDevices)
    : server_(server), manager_(manager), otherDevices_(otherDevices) {}

void DeviceEventFeed::buttonEvent(std::uint16_t device, std::uint32_t pressed, std::uint32_t released) {
    hand({Kind::button, device, pressed, released});
}

void DeviceEventFeed::devicesChanged() {
    hand({Kind::devices, 0, 0, 0});
}

void DeviceEventFeed::learningChanged(std::uint16_t device, bool learning) {
    hand({Kind::learning, device, 0, 0, learning});
}

void DeviceEventFeed::statusChanged() {
    hand({Kind::status, 0, 0, 0});
}

void DeviceEventFeed::otherDevicesChanged() {
    hand({Kind::otherDevices, 0, 0, 0});
}

void DeviceEventFeed::hand(const Notice& notice) {
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        if (notices_.size() >= noticeLimit) {
            ++dropped_;
            return;
        }
        notices_.push_back(notice);
        post = !std::exchange(deliveryPosted_, true);
    }
    // One delivery waits on the server at a time, whatever the rate.
    if (post) {
        server_.post([this] { deliver(); });
    }
}

std::string DeviceEventFeed::devicesEvent() {
    return event("devices", manager_.getDevices());
}

std::string DeviceEventFeed::statusEvent() {
    return event("status", statusDocument());
}

std::string DeviceEventFeed::otherDevicesEvent() {
    return event("otherDevices", otherDevicesDocument(otherDevices_.list()));
}

void DeviceEventFeed::deliver() {
    std::vector<Notice> notices;
    std::size_t dropped = 0;
    {
        std::lock_guard lock(mutex_);
        notices.swap(notices_);
        dropped = std::exchange(dropped_, 0);
        deliveryPosted_ = false;
    }
    if (dropped > 0) {
        log(LogLevel::warning, "[HTTP] - ", dropped, " device events came faster than they could be sent");
    }
    if (!server_.hasSubscribers()) {
        return;
    }
    std::string events;
    for (std::size_t i = 0; i < notices.size(); ++i) {
        const auto& notice = notices[i];
        // A run of changes of one list is told once: the list as it is now.
        const bool lastOfRun = i + 1 == notices.size() || notices[i + 1].kind != notice.kind;
        if (notice.kind == Kind::button) {
            events += event(
                "button",
                {{"device", notice.device}, {"pressed", notice.pressed}, {"released", notice.released}});
        } else if (notice.kind == Kind::learning) {
            events += event("learn", {{"device", notice.device}, {"learning", notice.learning}});
        } else if (lastOfRun) {
            switch (notice.kind) {
            case Kind::devices:
                events += devicesEvent();
                break;
            case Kind::status:
                events += statusEvent();
                break;
            case Kind::otherDevices:
                events += otherDevicesEvent();
                break;
            case Kind::button:
            case Kind::learning:
                break;
            }
        }
    }
    server_.broadcast(events);
}

} // namespace obx
