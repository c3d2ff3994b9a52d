#pragma once

// Keeps web pages from driving the loopback API: a browser page can reach
// 127.0.0.1 (directly, or through a DNS name rebound to it), and some of the
// API runs programs. Native clients send none of the headers and pass; a
// browser passes only from the helper's own page, served on the helper's own
// port. Sec-Fetch-Site catches what Origin misses: a browser sends no Origin
// on a cross-site <img>, <script> or no-cors GET, but tells the site.

#include <cstdint>
#include <optional>
#include <string_view>

namespace obx {

class OriginPolicy {
public:
    explicit OriginPolicy(std::uint16_t port) : port_(port) {}

    // The header values, or nullopt when the header is absent.
    bool allows(std::optional<std::string_view> host, std::optional<std::string_view> origin,
                std::optional<std::string_view> fetchSite) const;

private:
    bool hostAllowed(std::string_view host) const;
    bool originAllowed(std::string_view origin) const;

    std::uint16_t port_;
};

} // namespace obx
