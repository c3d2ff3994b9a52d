#pragma once

// The button assignments of the legacy XML settings and their conversion
// into the stored commands of today's configurations.

#include "settings/Snippet.h"

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>

namespace obx {

// One "Action" element of a legacy button.
struct LegacyAction {
    int command = 0;
    int argument = 0;
    int modifiers = 0;
    int repeat = 0;
    std::string name;               // an open action's label
    std::string path;               // an open action's target
    std::optional<Snippet> snippet; // the "Snippet" child of a snippet action
};

// Legacy key codes with their modifiers to the keystroke macros of the
// action macros file.
class KeystrokeMacroIndex {
public:
    // Adds every keystroke macro of the macros document in key order. A bad
    // entry ends the indexing with the entries before it kept.
    explicit KeystrokeMacroIndex(const nlohmann::json& macros);

    // The first macro added for keyCode with exactly these modifiers.
    std::optional<std::string> find(int keyCode, std::uint32_t modifiers) const;
    std::size_t size() const { return entries_.size(); }

private:
    std::multimap<int, std::pair<std::uint32_t, std::string>> entries_;
};

// The stored command for a legacy action, or nothing when the legacy kind
// stores none. Throws "Unknown command type" for a command code without a
// kind.
std::optional<nlohmann::json> convertLegacyAction(const LegacyAction& action,
                                                  const KeystrokeMacroIndex& index);

} // namespace obx
