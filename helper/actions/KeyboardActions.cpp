#include "actions/KeyboardActions.h"

#include "actions/DeviceInput.h"
#include "actions/JsonReaders.h"
#include "actions/Modifiers.h"
#include "actions/PlatformServicesImpl.h"
#include "base/Log.h"
#include "settings/DeviceConfig.h"

#include <vector>

namespace obx {

void ActionKeystroke::fromJson(const nlohmann::json& json) {
    keyCode_ = readRequiredInt(json, "keyCode");
    modifiers_ = modifiersFromString(readString(json, "modifiers", ""));
    syncUp_ = readBool(json, "syncUp", false);
}

void ActionKeystroke::toJson(nlohmann::json& json) const {
    json["modifiers"] = modifiersToString(modifiers_);
    json["keyCode"] = keyCode_;
}

void ActionKeystroke::execute(IObxDevice& device, bool down) {
    log(LogLevel::debug, "Poke keystroke: modifiers: 0x", Hex{modifiers_}, ", scancode: 0x", Hex{keyCode_},
        ", syncUp: ", syncUp_ ? "true" : "false");
    if (!down && syncUp_) {
        return;
    }
    pokeKeystroke(device, modifiers_, keyCode_, down, false);
    if (syncUp_) {
        log(LogLevel::debug, "\tpoking UP event synchronously");
        pokeKeystroke(device, modifiers_, keyCode_, false, false);
    }
}

void ActionSnippet::fromJson(const nlohmann::json& json) {
    label_ = readString(json, "label", "");
    index_ = readInt(json, "index", -1);
    content_ = json.at("content").get<std::string>();
}

void ActionSnippet::toJson(nlohmann::json& json) const {
    json["label"] = label_;
    json["content"] = content_;
    json["index"] = index_;
}

void ActionSnippet::execute(IObxDevice&, bool down) {
    if (content_.empty()) {
        log(LogLevel::info, "Snippet action - content.length == 0");
        return;
    }
    if (down) {
        log(LogLevel::debug, "Snippet action - snippet: ", content_);
        platformServices().typeText(content_);
    }
}

void ActionSnippetMenu::execute(IObxDevice&, bool down) {
    if (!down) {
        return;
    }
    log(LogLevel::debug, "Snippet menu action");
    if (owner() == nullptr) {
        return;
    }
    std::vector<std::string> contents;
    std::vector<std::string> labels;
    for (const auto& snippet : owner()->snippets()) {
        contents.push_back(snippet.content);
        labels.push_back(snippet.label);
    }
    const auto chosen = platformServices().showSnippetMenu(contents, labels);
    if (!chosen.empty()) {
        platformServices().typeText(chosen);
    }
}

} // namespace obx
