#include "server/Resources.h"

#include "actions/LowerCase.h"
#include "actions/PlatformServicesImpl.h"
#include "base/Log.h"
#include "base/StatusNotices.h"
#include "devices/IObxDeviceManager.h"
#include "platform/OtherPointingDevices.h"
#include "server/HttpResponse.h"
#include "server/HttpServer.h"
#include "server/OtherDevices.h"

#include <algorithm>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>

namespace obx {

using nlohmann::json;

namespace {

using Resource = std::function<json(const HttpRequest&)>;

// Every error that leaves a resource becomes the failure envelope; one
// without a message must not end the server thread either.
HttpHandler guarded(Resource resource) {
    return [resource = std::move(resource)](const HttpRequest& request) {
        try {
            return successResponse(resource(request));
        } catch (const std::exception& error) {
            return failureResponse(error.what());
        } catch (...) {
            return failureResponse("Unknown error");
        }
    };
}

// Deeper documents are refused before they are built: the settings and
// action documents nest a few levels, and everything that walks a JSON
// value (printing it, comparing it) recurses once per level.
constexpr int maxJsonDepth = 64;

json parseBody(const HttpRequest& request) {
    return json::parse(request.body, [](int depth, json::parse_event_t event, json&) {
        if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
            depth >= maxJsonDepth) {
            throw std::invalid_argument("JSON nesting deeper than " + std::to_string(maxJsonDepth) +
                                        " levels");
        }
        return true;
    });
}

AppId appOf(const HttpRequest& request) {
    return request.query.app();
}

std::string appAndDevice(const HttpRequest& request) {
    return "app: " + request.query.app() + ", deviceId: " + std::to_string(request.query.device());
}

std::string appDeviceAndButton(const HttpRequest& request) {
    std::ostringstream text;
    text << appAndDevice(request) << ", buttonMask: " << Hex{request.query.button()};
    return text.str();
}

json favouriteApplications(IObxDeviceManager& manager, const HttpRequest& request) {
    logText(LogLevel::debug, "[HTTP] - get favorite apps");
    // Any negative count asks for the most, however far below zero.
    const auto wanted = request.query.count();
    const auto count = static_cast<std::uint16_t>(wanted < 0 ? 20 : std::clamp<std::int64_t>(wanted, 1, 20));
    std::set<std::string> configured;
    const auto apps = manager.getApps(request.query.device());
    for (auto& entry : apps.at("apps")) {
        for (auto& [identifier, value] : entry.items()) {
            std::string lowered = identifier;
            std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](char c) {
                return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            });
            if (lowered != "*") {
                configured.insert(lowered);
            }
        }
    }
    return platformServices().listApplications(count, configured);
}

} // namespace

json versionDocument() {
    return {{"apiVersion", 1}, {"fileVersion", {{"major", 2}, {"minor", 1}, {"patch", 19}}}};
}

json statusDocument() {
    json notices = json::array();
    for (const auto& notice : StatusNotices::instance().notices()) {
        notices.push_back({{"source", notice.source}, {"text", notice.text}});
    }
    return {{"notices", std::move(notices)}};
}

void registerResources(HttpServer& server, IObxDeviceManager& manager, OtherPointingDevices& otherDevices) {
    auto route = [&](const char* method, const char* pattern, Resource resource) {
        server.addRoute(method, pattern, guarded(std::move(resource)));
    };
    auto& m = manager;

    route("GET", "^/favapps$", [&m](const HttpRequest& r) { return favouriteApplications(m, r); });
    route("GET", "^/status$", [](const HttpRequest&) { return statusDocument(); });
    route("GET", "^/devices$", [&m](const HttpRequest&) {
        logText(LogLevel::debug, "[HTTP] - get connected devices");
        return m.getDevices();
    });
    route("GET", "^/devices/capabilities$",
          [&m](const HttpRequest& r) { return m.getDeviceCapabilities(r.query.device()); });
    route("GET", "^/devices/other$",
          [&otherDevices](const HttpRequest&) { return otherDevicesDocument(otherDevices.list()); });
    route("POST", "^/devices/other$", [&otherDevices](const HttpRequest& r) {
        const std::string request = pointingDeviceRequest(parseBody(r));
        log(LogLevel::info, "[HTTP] - pointing device: ", request);
        return otherDevicesDocument(otherDevices.request(request));
    });
    route("GET", "^/config/apps$", [&m](const HttpRequest& r) {
        logText(LogLevel::debug, "[HTTP] - get app configurations");
        return m.getApps(r.query.device());
    });
    route("POST", "^/config/apps$", [&m](const HttpRequest& r) {
        const auto body = parseBody(r);
        log(LogLevel::debug, "[HTTP] - create new app configuration", ", json: ", body);
        m.createApp(r.query.device(), body);
        return m.getApps(r.query.device());
    });
    route("DELETE", "^/config/apps$", [&m](const HttpRequest& r) {
        const auto body = parseBody(r);
        log(LogLevel::debug, "[HTTP] - delete app configuration", ", json: ", body);
        m.deleteApp(r.query.device(), body);
        return m.getApps(r.query.device());
    });
    route("GET", "^/config$", [&m](const HttpRequest&) {
        logText(LogLevel::debug, "[HTTP] get entire settings");
        return m.getSettings();
    });
    route("POST", "^/config$", [&m](const HttpRequest& r) {
        logText(LogLevel::debug, "[HTTP] set entire settings");
        m.setSettings(parseBody(r));
        return m.getSettings();
    });
    route("GET", "^/config/general$", [&m](const HttpRequest&) {
        logText(LogLevel::debug, "[HTTP] get general config");
        return m.getGeneralConfig();
    });
    route("POST", "^/config/general$", [&m](const HttpRequest& r) {
        logText(LogLevel::debug, "[HTTP] set general config");
        m.setGeneralConfig(parseBody(r));
        return m.getGeneralConfig();
    });
    route("GET", "^/config/buttons$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] get button config - ", appDeviceAndButton(r));
        return m.getButtonAction(appOf(r), r.query.device(), r.query.button());
    });
    route("POST", "^/config/buttons$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] set button config - ", appDeviceAndButton(r));
        m.setButtonAction(appOf(r), r.query.device(), r.query.button(), parseBody(r));
        return m.getButtonAction(appOf(r), r.query.device(), r.query.button());
    });
    route("GET", "^/config/pointer$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] get pointer config - ", appAndDevice(r));
        return m.getPointerConfig(appOf(r), r.query.device());
    });
    route("POST", "^/config/pointer$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] set pointer config - ", appAndDevice(r));
        m.setPointerConfig(appOf(r), r.query.device(), parseBody(r));
        return m.getPointerConfig(appOf(r), r.query.device());
    });
    route("GET", "^/config/scroll$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] get scroll config - ", appAndDevice(r));
        return m.getScrollWheelConfig(appOf(r), r.query.device());
    });
    route("POST", "^/config/scroll$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] set scroll config - ", appAndDevice(r));
        m.setScrollWheelConfig(appOf(r), r.query.device(), parseBody(r));
        return m.getScrollWheelConfig(appOf(r), r.query.device());
    });
    route("GET", "^/config/snippets", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] get snippets - ", appAndDevice(r));
        return m.getSnippets(appOf(r), r.query.device());
    });

    server.setDefaultHandler("GET", [](const HttpRequest&) { return successResponse(versionDocument()); });
}

} // namespace obx
