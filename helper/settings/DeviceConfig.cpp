#include "settings/DeviceConfig.h"

#include "actions/ActionFactory.h"
#include "actions/Actions.h"
#include "actions/PlatformServicesImpl.h"
#include "base/Log.h"
#include "settings/ApplicationConfig.h"

#include <algorithm>
#include <bit>
#include <sstream>

namespace obx {

using nlohmann::json;

namespace {

// The button table of a new configuration: plain clicks of the five mouse
// buttons and one scroll step to each side for the pan.
const std::map<std::uint32_t, std::string>& defaultCommands() {
    static const std::map<std::uint32_t, std::string> commands = [] {
        const std::pair<std::uint32_t, const char*> defaults[] = {
            {0x1, "mouse_leftClick"},
            {0x2, "mouse_rightClick"},
            {0x4, "mouse_middleClick"},
            {0x8, "mouse_button4Click"},
            {0x10, "mouse_button5Click"},
            {0x40000000, "navigation_scrollLeft"},
            {0x80000000, "navigation_scrollRight"},
        };
        std::map<std::uint32_t, std::string> result;
        for (auto& [mask, macro] : defaults) {
            result[mask] = json{{"command", macro}, {"params", nullptr}}.dump();
        }
        return result;
    }();
    return commands;
}

// Member names of a button-table object are masks in decimal; text without
// a leading number reads as 0, as a stream extraction reads it.
std::uint32_t maskFromMemberName(const std::string& name) {
    std::istringstream in(name);
    std::uint32_t mask = 0;
    if (!(in >> mask)) {
        return 0;
    }
    return mask;
}

bool isPlainSingleClick(const ActionFactory& factory, const std::string& text) {
    try {
        auto action = factory.create(nullptr, json::parse(text));
        auto* click = dynamic_cast<const ActionSingleClick*>(action.get());
        return click != nullptr && click->modifiers() == 0;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

DeviceConfig::DeviceConfig(ApplicationConfig* owner) : owner_(owner), commands_(defaultCommands()) {
    auto& platform = platformServices();
    speed = platform.systemPointerSpeed();
    accelerationRate = platform.systemAccelerationRate();
    acceleration = accelerationRate != 0;
    scrollInvert = platform.systemScrollInvert();
    scrollLines = std::max(1, platform.systemWheelLines());
    rebuildActions();
    updateChordMask();
}

DeviceConfig::DeviceConfig(ApplicationConfig* owner, Blank) : owner_(owner) {}

DeviceConfig::DeviceConfig(const DeviceConfig& other)
    : id(other.id), speed(other.speed), acceleration(other.acceleration),
      accelerationRate(other.accelerationRate), snapModifiers(other.snapModifiers),
      slowModifiers(other.slowModifiers), slowDivider(other.slowDivider),
      inertialScroll(other.inertialScroll), scrollInvert(other.scrollInvert), scrollLines(other.scrollLines),
      inertialScrollTimer(other.inertialScrollTimer), inertialScrollFactor(other.inertialScrollFactor),
      inertialScrollNullSteps(other.inertialScrollNullSteps), owner_(other.owner_),
      chordMask_(other.chordMask_), commands_(other.commands_), snippets_(other.snippets_) {
    rebuildActions();
}

DeviceConfig& DeviceConfig::operator=(const DeviceConfig& other) = default;

void DeviceConfig::attach(ApplicationConfig* owner) {
    owner_ = owner;
    for (auto& [mask, action] : actions_) {
        action->setOwner(this);
    }
}

void DeviceConfig::storeAction(std::uint32_t mask, ActionPtr action) {
    if (action->name() == "snippet" && owner_ != nullptr && owner_->owner != nullptr) {
        auto& snippet = static_cast<const ActionSnippet&>(*action);
        setSnippet(snippet.content(), snippet.label(), snippet.index());
    }
    actions_[mask] = std::move(action);
}

void DeviceConfig::rebuildActions() {
    actions_.clear();
    const ActionFactory factory;
    for (auto& [mask, text] : commands_) {
        try {
            storeAction(mask, factory.create(this, json::parse(text)));
        } catch (const ActionFieldError& error) {
            // A form read strictly says why; the button stays without an action as below.
            log(LogLevel::error, "Error converting '", mask, "' into action object: ", error.what());
        } catch (const std::exception&) {
            // One bad entry must not cost the other buttons or the stored
            // text: the button stays without an action.
            log(LogLevel::error, "Error converting '", mask, "' into action object");
        }
    }
}

void DeviceConfig::updateChordMask() {
    chordMask_ = 0;
    for (auto& [mask, action] : actions_) {
        if (std::popcount(mask) >= 2 && action->name() != "none") {
            chordMask_ |= mask;
        }
    }
}

json DeviceConfig::getButtonAction(std::uint32_t mask) const {
    if (mask == 0) {
        json all = json::object();
        for (auto& [key, text] : commands_) {
            all[std::to_string(key)] = json::parse(text);
        }
        return all;
    }
    auto found = commands_.find(mask);
    return found == commands_.end() ? json() : json::parse(found->second);
}

void DeviceConfig::setButtonAction(std::uint32_t mask, const json& action) {
    const ActionFactory factory;
    auto store = [&](std::uint32_t key, const json& entry) {
        auto built = factory.create(this, entry);
        commands_[key] = entry.dump();
        storeAction(key, std::move(built));
    };
    // Members stored before one that fails stay, so the chord mask must
    // follow them on every way out.
    try {
        if (mask != 0) {
            store(mask, action);
        } else if (!action.is_null()) {
            for (auto& [name, entry] : action.get<json::object_t>()) {
                store(maskFromMemberName(name), entry);
            }
        }
    } catch (...) {
        updateChordMask();
        throw;
    }
    updateChordMask();
}

void DeviceConfig::requireAcceptedActions() const {
    const ActionFactory factory;
    for (const auto& [mask, text] : commands_) {
        if (actions_.contains(mask)) {
            continue;
        }
        try {
            factory.create(nullptr, json::parse(text));
        } catch (const ActionFieldError& error) {
            std::ostringstream where;
            where << "Button 0x" << std::hex << mask << ": " << error.what();
            throw ActionFieldError(where.str());
        } catch (const std::exception&) {
            // Tolerated as it always was: the button has no action.
        }
    }
}

void DeviceConfig::mergeCommands(const std::map<std::uint32_t, json>& commands) {
    for (auto& [mask, action] : commands) {
        commands_[mask] = action.dump();
    }
    rebuildActions();
    updateChordMask();
}

DeviceConfig DeviceConfig::newProfileConfig() const {
    // Assigned rather than copied: the actions are built once, after the filter.
    DeviceConfig result(owner_, Blank{});
    result = *this;
    result.snippets_ = SnippetSlots{};
    const ActionFactory factory;
    std::erase_if(result.commands_,
                  [&](const auto& entry) { return !isPlainSingleClick(factory, entry.second); });
    result.rebuildActions();
    result.updateChordMask();
    return result;
}

DeviceConfig DeviceConfig::copiedProfileConfig() const {
    DeviceConfig result(*this);
    result.snippets_ = snippets_;
    return result;
}

void DeviceConfig::setSnippet(const std::string& content, const std::string& label, int index) {
    if (index < 0 || index >= static_cast<int>(snippetSlotCount)) {
        return;
    }
    snippets_[static_cast<std::size_t>(index)] = Snippet{content, label};
}

} // namespace obx
