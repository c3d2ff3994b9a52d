#pragma once

// Kinds that ask the desktop to do something: open an item, run a window or
// session command.

#include "actions/ActionBase.h"

#include <cstdint>
#include <string>
#include <vector>

namespace obx {

class ActionOpenItem final : public ActionBase {
public:
    static constexpr const char* kind = "open";
    ActionOpenItem() : ActionBase(kind) {}

    void fromJson(const nlohmann::json& json) override;
    void toJson(nlohmann::json& json) const override;
    void execute(IObxDevice& device, bool down) override;

    // The user's caption of the item ("name" in JSON).
    const std::string& itemName() const { return itemName_; }
    const std::string& path() const { return path_; }
    const std::vector<std::string>& args() const { return args_; }
    // What the item is, as the macros file numbers it: 0 file, 1 folder,
    // 2 application, 3 web address.
    std::int32_t type() const { return type_; }

private:
    std::string itemName_;
    std::string path_;
    std::vector<std::string> args_;
    std::int32_t type_ = 0;
};

class ActionSystem final : public ActionBase {
public:
    static constexpr const char* kind = "system";
    ActionSystem() : ActionBase(kind) {}

    void fromJson(const nlohmann::json& json) override;
    void toJson(nlohmann::json& json) const override;
    void execute(IObxDevice& device, bool down) override;

    const std::string& action() const { return action_; }
    const nlohmann::json& params() const { return params_; }

private:
    std::string action_;
    nlohmann::json params_;
};

} // namespace obx
