#pragma once

// Short ways of writing the action forms of the gesture tests.

#include <nlohmann/json.hpp>

namespace obx::test {

// The keystroke of a letter key, without modifiers.
inline nlohmann::json keyAction(char letter) {
    return {{"command", "keystroke"}, {"keyCode", static_cast<int>(letter - 'a' + 'A')}};
}

// A gesture with these fields.
inline nlohmann::json gesture(nlohmann::json fields) {
    fields["command"] = "gesture";
    return fields;
}

} // namespace obx::test
