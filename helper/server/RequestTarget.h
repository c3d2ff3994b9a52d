#pragma once

// The parts of a request target. HTTP/1.1 servers must take the absolute
// form ("http://host:port/path?query") as well as the usual origin form
// ("/path?query"); both are routed by their path.

#include <optional>
#include <string_view>

namespace obx {

struct RequestTarget {
    // The authority of the absolute form, which then stands in for Host.
    std::optional<std::string_view> authority;
    std::string_view path;
    std::string_view query;
};

// The views point into target.
RequestTarget splitRequestTarget(std::string_view target);

} // namespace obx
