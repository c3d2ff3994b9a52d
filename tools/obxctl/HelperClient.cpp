#include "HelperClient.h"

#include "Errors.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cctype>

namespace obxctl {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

constexpr std::size_t headerLimit = 64 * 1024;
constexpr std::size_t bodyLimit = 64 * 1024 * 1024;

// The helper ends its header lines with a bare line feed; the parser wants
// carriage return and line feed.
std::string withCrLf(const std::string& header) {
    std::string result;
    result.reserve(header.size() + 32);
    for (char c : header) {
        if (c == '\r') {
            continue;
        }
        if (c == '\n') {
            result += '\r';
        }
        result += c;
    }
    return result;
}

// Where the header ends (just past its empty line) in raw; npos until then.
std::size_t headerEnd(const std::string& raw) {
    const auto bare = raw.find("\n\n");
    const auto full = raw.find("\r\n\r\n");
    if (bare == std::string::npos && full == std::string::npos) {
        return std::string::npos;
    }
    if (full != std::string::npos && (bare == std::string::npos || full + 2 < bare)) {
        return full + 4;
    }
    return bare + 2;
}

std::string failureReason(const http::response<http::string_body>& response) {
    try {
        const auto document = nlohmann::json::parse(response.body());
        if (document.is_object() && document.contains("reason") && document["reason"].is_string()) {
            return document["reason"].get<std::string>();
        }
    } catch (const nlohmann::json::exception&) {
    }
    return "the helper answered HTTP " + std::to_string(response.result_int());
}

} // namespace

std::string percentEncode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string result;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            result += static_cast<char>(c);
        } else {
            result += '%';
            result += hex[c >> 4];
            result += hex[c & 0x0F];
        }
    }
    return result;
}

nlohmann::json HelperClient::get(const std::string& path, const Query& query) const {
    return request("GET", path, query, std::nullopt);
}

nlohmann::json HelperClient::post(const std::string& path, const Query& query,
                                  const nlohmann::json& body) const {
    return request("POST", path, query, body);
}

nlohmann::json HelperClient::remove(const std::string& path, const Query& query,
                                    const nlohmann::json& body) const {
    return request("DELETE", path, query, body);
}

nlohmann::json HelperClient::request(const char* method, const std::string& path, const Query& query,
                                     const std::optional<nlohmann::json>& body) const {
    std::string target = path;
    char separator = '?';
    for (const auto& [key, value] : query) {
        target += separator + percentEncode(key) + "=" + percentEncode(value);
        separator = '&';
    }

    net::io_context context;
    beast::tcp_stream stream(context);
    stream.expires_after(timeout_);
    beast::error_code error;
    stream.connect(tcp::endpoint(net::ip::address_v4::loopback(), port_), error);
    if (error == net::error::connection_refused) {
        throw NoHelper(port_);
    }
    if (error) {
        throw HelperFailure("cannot reach the helper on 127.0.0.1:" + std::to_string(port_) + ": " +
                            error.message());
    }

    http::request<http::string_body> outgoing{http::string_to_verb(method), target, 11};
    outgoing.set(http::field::host, "127.0.0.1:" + std::to_string(port_));
    outgoing.set(http::field::user_agent, "obxctl");
    outgoing.set(http::field::connection, "close");
    if (body) {
        outgoing.set(http::field::content_type, "application/json");
        outgoing.body() = body->dump();
    }
    outgoing.prepare_payload();
    http::write(stream, outgoing, error);
    if (error) {
        throw HelperFailure("sending the request failed: " + error.message());
    }

    // Read the raw header first, then let the parser take it and the body.
    std::string raw;
    char chunk[4096];
    std::size_t end = std::string::npos;
    while ((end = headerEnd(raw)) == std::string::npos) {
        if (raw.size() > headerLimit) {
            throw HelperFailure("the helper's answer has an oversized header");
        }
        const std::size_t got = stream.read_some(net::buffer(chunk), error);
        if (error) {
            throw HelperFailure(error == net::error::eof
                                    ? "the helper closed the connection without an answer"
                                    : "reading the answer failed: " + error.message());
        }
        raw.append(chunk, got);
    }
    http::response_parser<http::string_body> parser;
    parser.body_limit(bodyLimit);
    const std::string header = withCrLf(raw.substr(0, end));
    parser.put(net::buffer(header), error);
    std::string rest = raw.substr(end);
    while (!error && !parser.is_done()) {
        if (!rest.empty()) {
            const std::size_t used = parser.put(net::buffer(rest), error);
            rest.erase(0, used);
            if (error == http::error::need_more) {
                error = {};
            }
            continue;
        }
        const std::size_t got = stream.read_some(net::buffer(chunk), error);
        if (error == net::error::eof) {
            parser.put_eof(error);
            break;
        }
        rest.assign(chunk, got);
    }
    if (error || !parser.is_done()) {
        throw HelperFailure("the helper's answer cannot be read" + (error ? ": " + error.message() : ""));
    }
    const auto& response = parser.get();
    if (response.result() != http::status::ok) {
        throw HelperFailure(failureReason(response));
    }
    try {
        return nlohmann::json::parse(response.body());
    } catch (const nlohmann::json::exception& parseError) {
        throw HelperFailure(std::string("the helper's answer is no JSON: ") + parseError.what());
    }
}

} // namespace obxctl
