#include "server/CommandServer.h"

#include "base/Log.h"
#include "base/StatusNotices.h"
#include "platform/LoopbackSockets.h"
#include "server/PageCredentials.h"
#include "server/PageFiles.h"
#include "server/Resources.h"

#include <charconv>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace obx {

std::uint16_t commandServerPort() {
    const char* text = std::getenv("OBX_HTTP_PORT");
    if (text == nullptr) {
        return defaultCommandPort;
    }
    const std::string_view digits(text);
    std::uint16_t port = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (error != std::errc() || end != digits.data() + digits.size() || port == 0) {
        log(LogLevel::warning, "Ignoring OBX_HTTP_PORT '", digits, "', using port ", defaultCommandPort);
        return defaultCommandPort;
    }
    return port;
}

CommandServer::CommandServer(IObxDeviceManager& deviceManager, std::uint16_t port)
    : deviceManager_(deviceManager), server_("127.0.0.1", port) {
    registerResources(server_, deviceManager_, *otherDevices_);
    registerPage(server_, installedPageFolder());
    server_.setEventStream("^/events$",
                           [this] { return events_.devicesEvent() + DeviceEventFeed::statusEvent(); });
    StatusNotices::instance().setListener([this] { events_.statusChanged(); });
    // The API changes the user's settings and starts programs: it is the
    // user's own, never another local account's.
    std::shared_ptr<PeerOwnerCheck> owners;
    try {
        owners = makePeerOwnerCheck();
    } catch (const std::exception& error) {
        log(LogLevel::error, "Command server cannot tell whose connections it gets (", error.what(),
            "): every connection is refused");
    }
    // A process of the user outside the user's session is a sandbox, which
    // must not reach out of it through the helper: only the page the user
    // opened, with its credential, speaks for the user there.
    server_.setConnectionCheck([owners](const boost::asio::ip::tcp::socket& socket) {
        switch (owners ? owners->ownerOf(socket) : PeerOwner::anotherUser) {
        case PeerOwner::user:
            return PeerAdmission::admitted;
        case PeerOwner::userOutsideSession:
            return PeerAdmission::withCredential;
        case PeerOwner::anotherUser:
            break;
        }
        return PeerAdmission::refused;
    });
    registerPageAccess(server_, PageCredentials::instance());
    PageCredentials::instance().setServing(true);
}

CommandServer::~CommandServer() {
    PageCredentials::instance().setServing(false);
    StatusNotices::instance().setListener({});
    stop();
    // Its follower may still hand the feed a change, which the stopped server never runs.
    otherDevices_.reset();
}

void CommandServer::start() {
    otherDevices_->follow([this] { events_.otherDevicesChanged(); });
    thread_ = std::thread([this] {
        logText(LogLevel::debug, "starting command server..");
        try {
            server_.run();
        } catch (const std::exception& error) {
            // The helper goes on without its HTTP interface.
            log(LogLevel::error, "Command server could not serve on 127.0.0.1: ", error.what());
        }
    });
}

void CommandServer::stop() {
    if (!thread_.joinable()) {
        return;
    }
    server_.stop();
    thread_.join();
    logText(LogLevel::debug, "command server stopped");
}

} // namespace obx
