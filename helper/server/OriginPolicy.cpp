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

bool OriginPolicy::originAllowed(std::string_view origin) const {
    // Only the page the helper serves itself: another port on the loopback
    // address is another program's web server, and "null" (sandboxed frames,
    // local files, cross-site redirects) is a page whose site is hidden.
    const auto text = lowerCase(std::string(origin));
    const auto port = std::to_string(port_);
    for (std::string_view name : {"127.0.0.1", "localhost"}) {
        const auto own = "http://" + std::string(name);
        // A browser leaves the scheme's default port out of the origin.
        if (text == own + ":" + port || (port_ == 80 && text == own)) {
            return true;
        }
    }
    return false;
}

bool OriginPolicy::allows(std::optional<std::string_view> host, std::optional<std::string_view> origin,
                          std::optional<std::string_view> fetchSite) const {
    // "same-site" is a page of another port of this host as well: another
    // program's server. "none" is the user's own navigation (an address typed
    // or opened by the helper), "same-origin" the page itself.
    const auto site = fetchSite ? lowerCase(std::string(*fetchSite)) : std::string();
    const bool fromAnotherSite = site == "cross-site" || site == "same-site";
    return !fromAnotherSite && (!host || hostAllowed(*host)) && (!origin || originAllowed(*origin));
}

} // namespace obx
