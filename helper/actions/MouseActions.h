#pragma once

// Kinds that produce mouse input: clicks, drags, scroll steps.

#include "actions/ActionBase.h"

#include <cstdint>
#include <string>

namespace obx {

// A mouse button number (1 left, 2 right, 3 middle, 4 back, 5 forward) with
// the modifier keys held around it.
class ActionMouseButton : public ActionBase {
public:
    void fromJson(const nlohmann::json& json) override;
    void toJson(nlohmann::json& json) const override;

    std::int32_t button() const { return button_; }
    std::uint32_t modifiers() const { return modifiers_; }
    std::uint32_t buttonMask() const;

protected:
    using ActionBase::ActionBase;

private:
    std::int32_t button_ = 0;
    std::uint32_t modifiers_ = 0;
};

class ActionSingleClick final : public ActionMouseButton {
public:
    static constexpr const char* kind = "singleClick";
    ActionSingleClick() : ActionMouseButton(kind) {}

    void toJson(nlohmann::json& json) const override;
    // A plain click is done by the driver from the button map; only clicks
    // with modifiers reach this point and need the helper.
    void execute(IObxDevice& device, bool down) override;
    // The click with or without modifiers: no map entry does it for a gesture.
    void runWhole(IObxDevice& device) override;

private:
    void pressOrRelease(IObxDevice& device, bool down) const;
};

class ActionDrag final : public ActionMouseButton {
public:
    static constexpr const char* kind = "drag";
    ActionDrag() : ActionMouseButton(kind) {}

    // One press picks up, the next press of any drag button drops: a drag
    // spans two presses, so what is held is shared by all drag actions.
    void execute(IObxDevice& device, bool down) override;

    // True when no drag holds a mouse button, so the next drag press presses.
    static bool nextPressPresses();
};

class ActionMultiClick final : public ActionMouseButton {
public:
    static constexpr const char* kind = "multiClick";
    // Every click holds the worker and the devices; a stored count beyond
    // any real use must not freeze them.
    static constexpr std::int32_t maxClicks = 100;
    ActionMultiClick() : ActionMouseButton(kind) {}

    void fromJson(const nlohmann::json& json) override;
    void toJson(nlohmann::json& json) const override;
    void execute(IObxDevice& device, bool down) override;

    std::int32_t clicks() const { return clicks_; }

private:
    std::int32_t clicks_ = 0;
};

// Direction codes, shared with the driver's button map.
enum class ScrollDirection : std::uint32_t { unset = 0, up, down, left, right, trackball, trackauto };

// "up" .. "trackauto" in any letter case; unset for any other text.
ScrollDirection scrollDirectionFromText(const std::string& text);
// "unknown" for unset and codes outside the table.
std::string scrollDirectionText(ScrollDirection direction);

class ActionScroll final : public ActionBase {
public:
    static constexpr const char* kind = "scroll";
    static constexpr std::int32_t maxLines = 100;
    ActionScroll() : ActionBase(kind) {}

    void fromJson(const nlohmann::json& json) override;
    void toJson(nlohmann::json& json) const override;
    void execute(IObxDevice& device, bool down) override;

    std::uint32_t direction() const { return direction_; }
    std::int32_t lines() const { return lines_; }

private:
    std::uint32_t direction_ = 0;
    std::int32_t lines_ = 1;
};

} // namespace obx
