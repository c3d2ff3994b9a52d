#pragma once

// Kinds that produce keyboard input: a keystroke, a typed text, a menu of
// the configuration's texts.

#include "actions/ActionBase.h"

#include <cstdint>
#include <string>

namespace obx {

class ActionKeystroke final : public ActionBase {
public:
    static constexpr const char* kind = "keystroke";
    ActionKeystroke() : ActionBase(kind) {}

    void fromJson(const nlohmann::json& json) override;
    void toJson(nlohmann::json& json) const override;
    // Without syncUp the key is held as long as the trackball button; with
    // it the press sends a whole keystroke and the release nothing.
    void execute(IObxDevice& device, bool down) override;

    std::uint32_t modifiers() const { return modifiers_; }
    std::uint32_t keyCode() const { return keyCode_; }
    bool syncUp() const { return syncUp_; }

private:
    std::uint32_t modifiers_ = 0;
    std::uint32_t keyCode_ = 0;
    bool syncUp_ = false;
};

class ActionSnippet final : public ActionBase {
public:
    static constexpr const char* kind = "snippet";
    ActionSnippet() : ActionBase(kind) {}

    void fromJson(const nlohmann::json& json) override;
    void toJson(nlohmann::json& json) const override;
    void execute(IObxDevice& device, bool down) override;

    const std::string& label() const { return label_; }
    const std::string& content() const { return content_; }
    // The configuration's snippet slot the text belongs to; -1 for none.
    std::int32_t index() const { return index_; }

private:
    std::string label_;
    std::string content_;
    std::int32_t index_ = -1;
};

class ActionSnippetMenu final : public ActionBase {
public:
    static constexpr const char* kind = "snippetMenu";
    ActionSnippetMenu() : ActionBase(kind) {}

    // Offers the owner's snippet slots and types the chosen one; an action
    // without an owner has no slots to offer.
    void execute(IObxDevice& device, bool down) override;
};

} // namespace obx
