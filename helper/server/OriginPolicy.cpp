#include "server/OriginPolicy.h"

#include "actions/LowerCase.h"

#include <string>

namespace obx {

namespace {

bool isLoopbackName(std::string_view host) {
    return host == "127.0.0.1" || host == "localhost" || host == "[::1]";
}

// Splits "name:port" or "[v6]:port"; port is empty when absent.
std::pair<std::string_view, std::string_view> splitHostPort(std::string_view authority) {
    const auto close = authority.rfind(']');
    const auto colon = authority.rfind(':');
    if (colon == std::string_view::npos || (close != std::string_view::npos && colon < close)) {
        return {authority, {}};
    }
    return {authority.substr(0, colon), authority.substr(colon + 1)};
}

} // namespace

bool OriginPolicy::hostAllowed(std::string_view host) const {
    const auto text = lowerCase(std::string(host));
    auto [name, port] = splitHostPort(text);
    return isLoopbackName(name) && port == std::to_string(port_);
}

bool OriginPolicy::originAllowed(std::string_view origin) {
    const auto text = lowerCase(std::string(origin));
    // Browsers send "null" from sandboxed frames and after cross-site
    // redirects: a web page whose site is hidden.
    if (text == "null") {
        return false;
    }
    const auto separator = text.find("://");
    if (separator == std::string::npos) {
        return true;
    }
    const auto scheme = std::string_view(text).substr(0, separator);
    if (scheme != "http" && scheme != "https") {
        return true;
    }
    auto authority = std::string_view(text).substr(separator + 3);
    authority = authority.substr(0, authority.find('/'));
    return isLoopbackName(splitHostPort(authority).first);
}

bool OriginPolicy::allows(std::optional<std::string_view> host,
                          std::optional<std::string_view> origin) const {
    return (!host || hostAllowed(*host)) && (!origin || originAllowed(*origin));
}

} // namespace obx
