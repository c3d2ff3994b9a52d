#pragma once

#include <string>

namespace obx {

// One of the ten text slots of a configuration; an empty content is a free slot.
struct Snippet {
    std::string content;
    std::string label;
    bool operator==(const Snippet&) const = default;
};

} // namespace obx
