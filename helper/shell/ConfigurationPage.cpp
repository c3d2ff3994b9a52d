#include "shell/ConfigurationPage.h"

#include "server/PageCredentials.h"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>

namespace obx {

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;

// POST /page/code of the helper on port, within two seconds in all. The
// answer is read to the close: the API ends its header lines with bare line
// feeds, which an HTTP parser refuses.
std::optional<std::string> codeOfRunningHelper(std::uint16_t port) {
    net::io_context io;
    beast::tcp_stream stream(io);
    const auto request = "POST /page/code HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    std::string answer;
    stream.expires_after(std::chrono::seconds(2));
    stream.async_connect({net::ip::make_address_v4("127.0.0.1"), port}, [&](beast::error_code error) {
        if (!error) {
            net::async_write(stream, net::buffer(request), [&](beast::error_code, std::size_t) {
                net::async_read(stream, net::dynamic_buffer(answer, 4096),
                                [](beast::error_code, std::size_t) {});
            });
        }
    });
    io.run();
    const std::string_view bytes(answer);
    const auto bodyAt = bytes.find("\n\n");
    if (!bytes.starts_with("HTTP/1.1 200 ") || bodyAt == std::string_view::npos) {
        return std::nullopt;
    }
    const auto document = nlohmann::json::parse(bytes.substr(bodyAt + 2), nullptr, false);
    if (!document.is_object() || !document.contains("code") || !document["code"].is_string()) {
        return std::nullopt;
    }
    return document["code"].get<std::string>();
}

} // namespace

std::string configurationPageAddress(std::uint16_t port) {
    auto& credentials = PageCredentials::instance();
    const auto code =
        credentials.serving() ? std::optional(credentials.issueCode()) : codeOfRunningHelper(port);
    const auto address = "http://127.0.0.1:" + std::to_string(port) + "/ui/";
    return code ? address + "?code=" + *code : address;
}

} // namespace obx
