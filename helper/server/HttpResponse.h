#pragma once

// The exact bytes the command server writes: a status line, the length and
// type, the security headers and the JSON body, each header line ended by a
// single line feed.

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace obx {

// Of every API answer: never sniffed as another type, never read by another
// site's page (an <img> or <script> of it), never kept by a cache.
inline constexpr std::string_view apiSecurityHeaders = "X-Content-Type-Options: nosniff\n"
                                                       "Cross-Origin-Resource-Policy: same-origin\n"
                                                       "Cache-Control: no-store\n";

inline constexpr std::string_view statusOk = "HTTP/1.1 200 OK";
inline constexpr std::string_view statusBadRequest = "HTTP/1.1 400 Bad Request";
inline constexpr std::string_view statusForbidden = "HTTP/1.1 403 Forbidden";
inline constexpr std::string_view statusPreconditionFailed = "HTTP/1.1 412 Precondition Failed";
inline constexpr std::string_view statusPayloadTooLarge = "HTTP/1.1 413 Payload Too Large";
inline constexpr std::string_view statusServiceUnavailable = "HTTP/1.1 503 Service Unavailable";

// The compact JSON body, one line feed appended. extraHeaders (whole lines,
// each ended by a line feed) follow the security headers.
std::string successResponse(const nlohmann::json& body, std::string_view extraHeaders = {});

// {"reason":message,"success":false}, logged at warning level.
std::string failureResponse(const std::string& reason, std::string_view statusLine = statusBadRequest,
                            std::string_view extraHeaders = {});
// The envelope with more members beside "reason" and "success".
std::string failureResponse(const std::string& reason, nlohmann::json members, std::string_view statusLine,
                            std::string_view extraHeaders);

} // namespace obx
