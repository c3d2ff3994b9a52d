#pragma once

// The settings of one profile for one trackball model: pointer and wheel
// values, the button action table and the ten snippet slots.

#include "actions/ActionBase.h"
#include "settings/Snippet.h"

#include <array>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>

namespace obx {

class ApplicationConfig;
class IObxDevice;

inline constexpr std::size_t snippetSlotCount = 10;
using SnippetSlots = std::array<Snippet, snippetSlotCount>;

class DeviceConfig {
public:
    // A new configuration: system pointer values, the default button table,
    // empty snippet slots.
    explicit DeviceConfig(ApplicationConfig* owner);
    // A configuration that is about to be filled whole (by fromJson or an
    // assignment): it skips the system queries and the default table, which
    // would only be overwritten.
    struct Blank {};
    DeviceConfig(ApplicationConfig* owner, Blank);
    // Copies the stored form and builds new action objects.
    DeviceConfig(const DeviceConfig& other);
    // Copies everything, owner included, and shares the action objects.
    DeviceConfig& operator=(const DeviceConfig& other);
    virtual ~DeviceConfig() = default;

    // Makes owner the holder of this configuration and of its actions.
    void attach(ApplicationConfig* owner);
    ApplicationConfig* owner() const { return owner_; }

    void rebuildActions();
    void updateChordMask();

    nlohmann::json getButtonAction(std::uint32_t mask) const;
    void setButtonAction(std::uint32_t mask, const nlohmann::json& action);
    // Throws the ActionFieldError of the first stored entry whose form was
    // refused (see ActionFactory::create), naming its button; entries that
    // fail in the tolerated older ways pass.
    void requireAcceptedActions() const;
    void setSnippet(const std::string& content, const std::string& label, int index);
    void setSnippets(const SnippetSlots& slots) { snippets_ = slots; }
    // Stores each entry's compact text under its mask, replacing earlier ones,
    // then rebuilds the actions once.
    void mergeCommands(const std::map<std::uint32_t, nlohmann::json>& commands);

    // What a new application profile starts from when this is the global
    // configuration: the same values, only the plain single clicks (an entry
    // that cannot be built is none), empty snippet slots.
    DeviceConfig newProfileConfig() const;
    // What a new profile starts from as a whole copy: every value and action,
    // the snippet slots as they are (not as the snippet actions would fill them).
    DeviceConfig copiedProfileConfig() const;

    // Runs the actions of one button event of device: the press first.
    void dispatchButtonEvent(IObxDevice& device, std::uint32_t pressedMask, std::uint32_t releasedMask) const;

    nlohmann::json toJson() const;
    // Every value that toJson writes, whose equality tells that the JSON form
    // is the same (the settings file keeps each profile's text while it is).
    auto storedFields() const {
        return std::tie(id, speed, acceleration, accelerationRate, slowModifiers, slowDivider, snapModifiers,
                        inertialScroll, scrollInvert, scrollLines, inertialScrollTimer, inertialScrollFactor,
                        inertialScrollNullSteps, commands_, snippets_);
    }
    // Reads a configuration object into this one; stops at the first error
    // with the steps before it done.
    void fromJson(const nlohmann::json& json);

    const std::map<std::uint32_t, ActionPtr>& actions() const { return actions_; }
    const std::map<std::uint32_t, std::string>& commands() const { return commands_; }
    std::uint32_t chordMask() const { return chordMask_; }
    const SnippetSlots& snippets() const { return snippets_; }

    std::int32_t id = 0;
    std::int32_t speed = 50;
    bool acceleration = false;
    std::int32_t accelerationRate = 0;
    std::uint32_t snapModifiers = 0;
    std::uint32_t slowModifiers = 0;
    std::int32_t slowDivider = 0;
    bool inertialScroll = false;
    bool scrollInvert = false;
    std::int32_t scrollLines = 1;
    std::int32_t inertialScrollTimer = 0;
    std::int32_t inertialScrollFactor = 0;
    std::int32_t inertialScrollNullSteps = 0;

private:
    class Builder;

    // Stores an action built for mask, filling its snippet slot when it is
    // a snippet of a configuration that belongs to settings.
    void storeAction(std::uint32_t mask, ActionPtr action);

    ApplicationConfig* owner_;
    std::map<std::uint32_t, ActionPtr> actions_;
    std::uint32_t chordMask_ = 0;
    std::map<std::uint32_t, std::string> commands_;
    SnippetSlots snippets_;
};

} // namespace obx
