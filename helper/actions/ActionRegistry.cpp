#include "actions/ActionBase.h"
#include "actions/Actions.h"

#include <map>
#include <stdexcept>

namespace obx {

namespace {

std::map<std::string, ActionCreator>& registry() {
    static std::map<std::string, ActionCreator> creators;
    return creators;
}

template <typename Kind>
void registerKind() {
    registerActionKind(Kind::kind, [] { return std::make_unique<Kind>(); });
}

bool registerBuiltInKinds() {
    registerKind<ActionNone>();
    registerKind<ActionSequence>();
    registerKind<ActionKeystroke>();
    registerKind<ActionOpenItem>();
    registerKind<ActionSnippet>();
    registerKind<ActionSnippetMenu>();
    registerKind<ActionSingleClick>();
    registerKind<ActionDrag>();
    registerKind<ActionMultiClick>();
    registerKind<ActionUseGlobal>();
    registerKind<ActionSystem>();
    registerKind<ActionScroll>();
    registerKind<ActionGesture>();
    return true;
}

// Registered while the program starts, in the unit that defines
// createAction, so that linking the library's users always keeps it.
[[maybe_unused]] const bool builtInKindsRegistered = registerBuiltInKinds();

} // namespace

void registerActionKind(const std::string& name, ActionCreator creator) {
    registry()[name] = std::move(creator);
}

ActionPtr createAction(DeviceConfig* config, const nlohmann::json& json) {
    const auto name = json.at("command").get<std::string>();
    const auto creator = registry().find(name);
    if (creator == registry().end()) {
        throw std::runtime_error("Unknown action name");
    }
    ActionPtr action = creator->second();
    action->fromJson(json);
    action->setOwner(config);
    return action;
}

} // namespace obx
