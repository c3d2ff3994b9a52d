#include "actions/SystemActions.h"

#include "actions/JsonReaders.h"
#include "actions/PlatformServicesImpl.h"
#include "base/Log.h"

namespace obx {

void ActionOpenItem::fromJson(const nlohmann::json& json) {
    itemName_ = readString(json, "name", "");
    path_ = json.at("path").get<std::string>();
    type_ = readInt(json, "type", 0);
    args_ =
        json.contains("args") ? json.at("args").get<std::vector<std::string>>() : std::vector<std::string>{};
}

void ActionOpenItem::toJson(nlohmann::json& json) const {
    json["name"] = itemName_;
    json["path"] = path_;
    json["args"] = args_;
    json["type"] = type_;
}

void ActionOpenItem::execute(IObxDevice&, bool down) {
    log(LogLevel::debug, "Open item action - path: ", path_, ", type: ", type_);
    if (down) {
        platformServices().openItem(path_, args_, type_);
    }
}

void ActionSystem::fromJson(const nlohmann::json& json) {
    action_ = json.at("action").get<std::string>();
    params_ = json.contains("params") ? json.at("params") : nlohmann::json();
}

void ActionSystem::toJson(nlohmann::json& json) const {
    json["action"] = action_;
    json["params"] = params_;
}

void ActionSystem::execute(IObxDevice&, bool down) {
    log(LogLevel::debug, "System action - action: ", action_);
    if (down) {
        platformServices().runSystemAction(action_, params_);
    }
}

} // namespace obx
