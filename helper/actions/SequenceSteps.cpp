#include "actions/SequenceSteps.h"

#include "actions/ActionBase.h"
#include "actions/JsonReaders.h"
#include "actions/Modifiers.h"

#include <algorithm>
#include <array>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

namespace obx {

namespace {

using nlohmann::json;
using Type = SequenceStep::Type;

// Each type with the fields it takes besides "type", and which of them it needs.
struct StepForm {
    Type type;
    std::string_view name;
    std::array<std::string_view, 2> fields;
    std::string_view required;
};

constexpr std::array<StepForm, 8> stepForms{{
    {Type::keyDown, "keyDown", {"keyCode", "modifiers"}, ""},
    {Type::keyUp, "keyUp", {"keyCode", "modifiers"}, ""},
    {Type::keystroke, "keystroke", {"keyCode", "modifiers"}, "keyCode"},
    {Type::text, "text", {"text", ""}, "text"},
    {Type::click, "click", {"button", "modifiers"}, "button"},
    {Type::buttonDown, "buttonDown", {"button", "modifiers"}, "button"},
    {Type::buttonUp, "buttonUp", {"button", "modifiers"}, "button"},
    {Type::pause, "pause", {"ms", ""}, "ms"},
}};

const StepForm& formOf(Type type) {
    return *std::find_if(stepForms.begin(), stepForms.end(),
                         [type](const StepForm& form) { return form.type == type; });
}

// Reads one step; every refusal names the step by its number from 1.
class StepReader {
public:
    StepReader(const json& object, std::size_t number) : object_(object), number_(number) {}

    SequenceStep read() {
        if (!object_.is_object()) {
            refuse("is no object");
        }
        const auto& form = findForm();
        for (const auto& [key, value] : object_.items()) {
            // The empty name only pads the table.
            if (key != "type" && (key.empty() || std::find(form.fields.begin(), form.fields.end(), key) ==
                                                     form.fields.end())) {
                refuse("has no field \"" + key + "\" (a " + std::string(form.name) + " step takes " +
                       fieldList(form) + ")");
            }
        }
        if (!form.required.empty() && !object_.contains(form.required)) {
            refuse("needs \"" + std::string(form.required) + "\"");
        }
        SequenceStep step;
        step.type = form.type;
        step.modifiers = modifiers();
        step.keyCode = static_cast<std::uint32_t>(number("keyCode", 1, SequenceLimits::maxKeyCode));
        step.button = static_cast<std::int32_t>(number("button", 1, SequenceLimits::maxButton));
        step.pause = std::chrono::milliseconds(number("ms", 1, SequenceLimits::maxPause.count()));
        step.text = text();
        if ((form.type == Type::keyDown || form.type == Type::keyUp) && step.keyCode == 0 &&
            step.modifiers == 0) {
            refuse("needs \"keyCode\" or \"modifiers\"");
        }
        return step;
    }

    [[noreturn]] void refuse(const std::string& why) const {
        throw ActionFieldError("Sequence step " + std::to_string(number_) + " " + why);
    }

private:
    const StepForm& findForm() const {
        const auto type = object_.find("type");
        if (type == object_.end() || !type->is_string()) {
            refuse("needs a \"type\" text");
        }
        for (const auto& form : stepForms) {
            if (type->get_ref<const std::string&>() == form.name) {
                return form;
            }
        }
        std::string names;
        for (const auto& form : stepForms) {
            names += (names.empty() ? "" : ", ") + std::string(form.name);
        }
        refuse("has the unknown type \"" + type->get<std::string>() + "\" (" + names + ")");
    }

    static std::string fieldList(const StepForm& form) {
        std::string list;
        for (const auto field : form.fields) {
            if (!field.empty()) {
                list += (list.empty() ? "\"" : ", \"") + std::string(field) + "\"";
            }
        }
        return list.empty() ? "nothing else" : list;
    }

    // 0 when absent; whole JSON numbers only, no texts: nothing older wrote this form.
    std::int64_t number(const char* key, std::int64_t lowest, std::int64_t highest) const {
        const auto found = object_.find(key);
        if (found == object_.end()) {
            return 0;
        }
        if (!isWholeNumberIn(*found, lowest, highest)) {
            refuse("has \"" + std::string(key) + "\" " + found->dump() + ", not a whole number from " +
                   std::to_string(lowest) + " to " + std::to_string(highest));
        }
        return found->get<std::int64_t>();
    }

    std::uint32_t modifiers() const {
        const auto found = object_.find("modifiers");
        if (found == object_.end()) {
            return 0;
        }
        if (!found->is_string()) {
            refuse("has \"modifiers\" " + found->dump() + ", not a text");
        }
        const auto parsed = modifiersFromStrictString(found->get<std::string>());
        if (!parsed) {
            refuse("has \"modifiers\" " + found->dump() +
                   " (names: alt, ctrl, shift, win, joined by commas)");
        }
        return *parsed;
    }

    std::string text() const {
        const auto found = object_.find("text");
        if (found == object_.end()) {
            return {};
        }
        if (!found->is_string() || found->get_ref<const std::string&>().empty() ||
            found->get_ref<const std::string&>().size() > SequenceLimits::maxTextBytes) {
            refuse("has \"text\" that is no text of 1 to " + std::to_string(SequenceLimits::maxTextBytes) +
                   " bytes");
        }
        return found->get<std::string>();
    }

    const json& object_;
    std::size_t number_;
};

// What the steps hold down at each point: a release must match a press.
class HeldInput {
public:
    void follow(const SequenceStep& step, const StepReader& reader) {
        const bool key = step.type == Type::keyDown || step.type == Type::keyUp;
        const Held held{key, key ? step.keyCode : static_cast<std::uint32_t>(step.button), step.modifiers};
        if (step.type == Type::keyDown || step.type == Type::buttonDown) {
            if (!held_.insert(held).second) {
                reader.refuse("presses what an earlier step already holds");
            }
        } else if (step.type == Type::keyUp || step.type == Type::buttonUp) {
            if (held_.erase(held) == 0) {
                reader.refuse("lets go of what no earlier step holds (the same key or button and modifiers)");
            }
        }
    }

private:
    using Held = std::tuple<bool, std::uint32_t, std::uint32_t>;
    std::set<Held> held_;
};

} // namespace

SequenceSteps sequenceStepsFromJson(const json& steps) {
    if (!steps.is_array()) {
        throw ActionFieldError("Sequence \"steps\" is no array");
    }
    if (steps.empty() || steps.size() > SequenceLimits::maxSteps) {
        throw ActionFieldError("Sequence has " + std::to_string(steps.size()) + " steps, not 1 to " +
                               std::to_string(SequenceLimits::maxSteps));
    }
    SequenceSteps read;
    HeldInput held;
    std::chrono::milliseconds paused{0};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        StepReader reader(steps[i], i + 1);
        auto step = reader.read();
        held.follow(step, reader);
        paused += step.pause;
        if (paused > SequenceLimits::maxTotalPause) {
            reader.refuse("makes the pauses " + std::to_string(paused.count()) + " ms in all, more than " +
                          std::to_string(SequenceLimits::maxTotalPause.count()));
        }
        read.push_back(std::move(step));
    }
    return read;
}

json sequenceStepsToJson(const SequenceSteps& steps) {
    json written = json::array();
    for (const auto& step : steps) {
        const auto& form = formOf(step.type);
        json object{{"type", form.name}};
        for (const auto field : form.fields) {
            if (field == "keyCode" && step.keyCode != 0) {
                object["keyCode"] = step.keyCode;
            } else if (field == "modifiers" && step.modifiers != 0) {
                object["modifiers"] = modifiersToString(step.modifiers);
            } else if (field == "button") {
                object["button"] = step.button;
            } else if (field == "text") {
                object["text"] = step.text;
            } else if (field == "ms") {
                object["ms"] = step.pause.count();
            }
        }
        written.push_back(std::move(object));
    }
    return written;
}

} // namespace obx
