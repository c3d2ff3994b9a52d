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
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>

namespace obx {

using nlohmann::json;

namespace {

using Resource = std::function<json(const HttpRequest&)>;

// Every error that leaves a resource becomes the failure envelope; one
// without a message must not end the server thread either.
std::string answer(const Resource& resource, const HttpRequest& request,
                   const std::function<std::string()>& headers) {
    try {
        auto body = resource(request);
        return successResponse(body, headers());
    } catch (const std::exception& error) {
        return failureResponse(error.what(), statusBadRequest, headers());
    } catch (...) {
        return failureResponse("Unknown error", statusBadRequest, headers());
    }
}

HttpHandler guarded(Resource resource) {
    return [resource = std::move(resource)](const HttpRequest& request) {
        return answer(resource, request, [] { return std::string(); });
    };
}

std::string revisionTag(std::uint64_t revision) {
    return "\"" + std::to_string(revision) + "\"";
}

// If-Match as RFC 9110 compares it (strongly): "*", or a list of tags one of
// which is the current one. Without the header every change goes through.
bool matchesRevision(const std::optional<std::string>& ifMatch, std::uint64_t revision) {
    if (!ifMatch) {
        return true;
    }
    const auto tag = revisionTag(revision);
    std::string_view rest = *ifMatch;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        auto item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const auto first = item.find_first_not_of(" \t");
        if (first == std::string_view::npos) {
            continue;
        }
        item = item.substr(first, item.find_last_not_of(" \t") - first + 1);
        if (item == "*" || item == tag) {
            return true;
        }
    }
    return false;
}

enum class Changes { none, settings };

// A resource of the settings: every answer tells their revision (ETag), and
// a change sent for another revision than the current one (If-Match) is
// refused before anything is done. The manager's lock is held throughout,
// so that no reload comes between the comparison and the change.
HttpHandler settingsResource(IObxDeviceManager& manager, Changes changes, Resource resource) {
    return [&manager, changes, resource = std::move(resource)](const HttpRequest& request) {
        std::lock_guard guard(manager);
        auto headers = [&manager] { return "ETag: " + revisionTag(manager.settingsRevision()) + "\n"; };
        if (changes == Changes::settings) {
            const auto revision = manager.settingsRevision();
            if (!matchesRevision(request.ifMatch, revision)) {
                return failureResponse("The settings changed meanwhile", json{{"revision", revision}},
                                       statusPreconditionFailed, headers());
            }
        }
        return answer(resource, request, headers);
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

constexpr std::int64_t longestLearning = 30; // seconds

// {"seconds":S} with S from 1 to 30, or no body at all: 30.
std::chrono::seconds learningTime(const HttpRequest& request) {
    if (request.body.empty()) {
        return std::chrono::seconds(longestLearning);
    }
    const auto body = parseBody(request);
    const auto seconds = body.is_object() ? body.find("seconds") : body.end();
    if (!body.is_object() ||
        (seconds != body.end() && (!seconds->is_number_integer() || seconds->get<std::int64_t>() < 1 ||
                                   seconds->get<std::int64_t>() > longestLearning))) {
        throw std::invalid_argument("\"seconds\" must be a whole number from 1 to " +
                                    std::to_string(longestLearning));
    }
    return std::chrono::seconds(seconds == body.end() ? longestLearning : seconds->get<std::int64_t>());
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
    auto reading = [&](const char* pattern, Resource resource) {
        server.addRoute("GET", pattern, settingsResource(manager, Changes::none, std::move(resource)));
    };
    auto changing = [&](const char* method, const char* pattern, Resource resource) {
        server.addRoute(method, pattern, settingsResource(manager, Changes::settings, std::move(resource)));
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
    reading("^/config/apps$", [&m](const HttpRequest& r) {
        logText(LogLevel::debug, "[HTTP] - get app configurations");
        return m.getApps(r.query.device());
    });
    changing("POST", "^/config/apps$", [&m](const HttpRequest& r) {
        const auto body = parseBody(r);
        log(LogLevel::debug, "[HTTP] - create new app configuration", ", json: ", body);
        m.createApp(r.query.device(), body);
        return m.getApps(r.query.device());
    });
    changing("DELETE", "^/config/apps$", [&m](const HttpRequest& r) {
        const auto body = parseBody(r);
        log(LogLevel::debug, "[HTTP] - delete app configuration", ", json: ", body);
        m.deleteApp(r.query.device(), body);
        return m.getApps(r.query.device());
    });
    reading("^/config$", [&m](const HttpRequest&) {
        logText(LogLevel::debug, "[HTTP] get entire settings");
        return m.getSettings();
    });
    changing("POST", "^/config$", [&m](const HttpRequest& r) {
        logText(LogLevel::debug, "[HTTP] set entire settings");
        m.setSettings(parseBody(r));
        return m.getSettings();
    });
    reading("^/config/general$", [&m](const HttpRequest&) {
        logText(LogLevel::debug, "[HTTP] get general config");
        return m.getGeneralConfig();
    });
    changing("POST", "^/config/general$", [&m](const HttpRequest& r) {
        logText(LogLevel::debug, "[HTTP] set general config");
        m.setGeneralConfig(parseBody(r));
        return m.getGeneralConfig();
    });
    reading("^/config/buttons$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] get button config - ", appDeviceAndButton(r));
        return m.getButtonAction(appOf(r), r.query.device(), r.query.button());
    });
    changing("POST", "^/config/buttons$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] set button config - ", appDeviceAndButton(r));
        m.setButtonAction(appOf(r), r.query.device(), r.query.button(), parseBody(r));
        return m.getButtonAction(appOf(r), r.query.device(), r.query.button());
    });
    reading("^/config/pointer$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] get pointer config - ", appAndDevice(r));
        return m.getPointerConfig(appOf(r), r.query.device());
    });
    changing("POST", "^/config/pointer$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] set pointer config - ", appAndDevice(r));
        m.setPointerConfig(appOf(r), r.query.device(), parseBody(r));
        return m.getPointerConfig(appOf(r), r.query.device());
    });
    reading("^/config/scroll$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] get scroll config - ", appAndDevice(r));
        return m.getScrollWheelConfig(appOf(r), r.query.device());
    });
    changing("POST", "^/config/scroll$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] set scroll config - ", appAndDevice(r));
        m.setScrollWheelConfig(appOf(r), r.query.device(), parseBody(r));
        return m.getScrollWheelConfig(appOf(r), r.query.device());
    });
    reading("^/config/snippets", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] get snippets - ", appAndDevice(r));
        return m.getSnippets(appOf(r), r.query.device());
    });

    changing("POST", "^/config/snippets$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] set snippets - ", appAndDevice(r));
        m.setSnippets(appOf(r), r.query.device(), parseBody(r));
        return m.getSnippets(appOf(r), r.query.device());
    });
    changing("POST", "^/config/apps/name$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] - rename app configuration - ", appAndDevice(r));
        m.renameApp(appOf(r), r.query.device(), parseBody(r));
        return m.getApps(r.query.device());
    });
    route("POST", "^/devices/learn$", [&m](const HttpRequest& r) {
        const auto seconds = learningTime(r);
        log(LogLevel::debug, "[HTTP] - learn buttons - deviceId: ", r.query.device(),
            ", seconds: ", seconds.count());
        m.startLearning(r.query.device(), seconds);
        return json{{"learning", true}, {"seconds", seconds.count()}};
    });
    route("DELETE", "^/devices/learn$", [&m](const HttpRequest& r) {
        log(LogLevel::debug, "[HTTP] - stop learning buttons - deviceId: ", r.query.device());
        m.stopLearning(r.query.device());
        return json{{"learning", false}};
    });

    server.setDefaultHandler("GET", [](const HttpRequest&) { return successResponse(versionDocument()); });
}

} // namespace obx
