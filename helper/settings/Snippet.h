#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace obx {

// One of the ten text slots of a configuration; an empty content is a free slot.
struct Snippet {
    std::string content;
    std::string label;
    bool operator==(const Snippet&) const = default;
};

// {"content", "label"}, as the settings file and the snippet listing carry it.
nlohmann::json snippetToJson(const Snippet& snippet);

} // namespace obx
