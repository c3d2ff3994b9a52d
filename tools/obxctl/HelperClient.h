#pragma once

// Requests to the helper's HTTP API on the loopback address, one connection
// per request, each bounded in time and size.

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace obxctl {

class HelperClient {
public:
    using Query = std::map<std::string, std::string>;

    explicit HelperClient(unsigned short port, std::chrono::seconds timeout = std::chrono::seconds(30))
        : port_(port), timeout_(timeout) {}

    // The answer's JSON document. Throws NoHelper when nothing listens,
    // HelperFailure with the helper's reason when it refuses.
    nlohmann::json get(const std::string& path, const Query& query = {}) const;
    nlohmann::json post(const std::string& path, const Query& query, const nlohmann::json& body) const;
    nlohmann::json remove(const std::string& path, const Query& query, const nlohmann::json& body) const;

    unsigned short port() const { return port_; }

private:
    nlohmann::json request(const char* method, const std::string& path, const Query& query,
                           const std::optional<nlohmann::json>& body) const;

    unsigned short port_;
    std::chrono::seconds timeout_;
};

// Percent-encodes everything but unreserved characters.
std::string percentEncode(const std::string& text);

} // namespace obxctl
