#pragma once

// The documents of the resource /devices/other: the pointing devices present that the driver does not serve,
// and the user's choice to have one served with the trackballs' settings ("take") or let go.
//   GET  -> {"devices":[{"vendor":1133,"product":49164,"id":"046d:c00c","bus":"0003","serial":"",
//            "name":"...","buttons":5,"wheel":true,"pan":false,"unservable":""}]}
//   POST {"take":true|false,"vendor":N,"product":N[,"serial":"..."]} -> the list as GET answers it
// unservable is empty when the driver can serve the device, else why it cannot.

#include <nlohmann/json.hpp>
#include <string>

namespace obx {

// The document of the driver's list message (empty: no list, no device).
nlohmann::json otherDevicesDocument(const std::string& list);

// The driver's request for a POST body; throws std::invalid_argument naming what is wrong.
std::string pointingDeviceRequest(const nlohmann::json& body);

} // namespace obx
