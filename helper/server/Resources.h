#pragma once

// The REST resources of the configuration application.

#include <nlohmann/json.hpp>

namespace obx {

class HttpServer;
class IObxDeviceManager;
class OtherPointingDevices;

// {"apiVersion":1,"fileVersion":{"major":2,"minor":1,"patch":19}}
nlohmann::json versionDocument();

// {"notices":[{"source":"gnome","text":"..."}]}: what the user should know
// about the helper's state.
nlohmann::json statusDocument();

// Registers the route table and the default GET handler on server; every
// handler answers through the success or the failure response.
void registerResources(HttpServer& server, IObxDeviceManager& deviceManager,
                       OtherPointingDevices& otherDevices);

} // namespace obx
