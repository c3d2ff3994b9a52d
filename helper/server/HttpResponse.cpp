#include "server/HttpResponse.h"

#include "base/Log.h"

namespace obx {

namespace {

std::string response(std::string_view statusLine, const std::string& json, std::string_view extraHeaders) {
    const std::string body = json + "\n";
    std::string bytes;
    bytes.reserve(statusLine.size() + body.size() + 96 + apiSecurityHeaders.size() + extraHeaders.size());
    bytes.append(statusLine)
        .append("\nContent-Length: ")
        .append(std::to_string(body.size()))
        .append("\nContent-Type: application/json; charset=utf-8\n")
        .append(apiSecurityHeaders)
        .append(extraHeaders)
        .append("\n")
        .append(body);
    return bytes;
}

} // namespace

std::string successResponse(const nlohmann::json& body, std::string_view extraHeaders) {
    return response(statusOk, body.dump(), extraHeaders);
}

std::string failureResponse(const std::string& reason, std::string_view statusLine,
                            std::string_view extraHeaders) {
    return failureResponse(reason, nlohmann::json::object(), statusLine, extraHeaders);
}

std::string failureResponse(const std::string& reason, nlohmann::json members, std::string_view statusLine,
                            std::string_view extraHeaders) {
    members["reason"] = reason;
    members["success"] = false;
    // A reason may quote client text that is not valid UTF-8; the envelope
    // must still go out.
    const auto envelope = members.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    log(LogLevel::warning, "\tresponse(failure): ", envelope);
    return response(statusLine, envelope, extraHeaders);
}

} // namespace obx
