#pragma once

// The configuration page's proof that the user opened it. A process of the
// user outside the user's session (a sandboxed program, or a browser that is
// itself a sandbox) may use the API only with it. The helper opens the page
// with a one-time code in its address (single use, valid for a minute); the
// page trades the code for a token, keeps the token where only the helper's
// own origin can read it and sends it with every request as
// "Authorization: Bearer <token>". A cookie would not do: a browser sends a
// cookie to every port of the host, so another program's server on the
// loopback address would receive it. Bounded, and safe from any thread.

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace obx {

class HttpServer;

class PageCredentials {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::seconds codeLifetime{60};
    // Past these the oldest goes: a page opened long ago opens again.
    static constexpr std::size_t codeLimit = 8;
    static constexpr std::size_t tokenLimit = 16;

    // The process's one set, which the tray's page and the server share.
    static PageCredentials& instance();

    explicit PageCredentials(Clock clock = std::chrono::steady_clock::now);

    // A new code of 32 hexadecimal digits (128 random bits).
    std::string issueCode();
    // The token for a code issued less than codeLifetime ago and not redeemed
    // yet; the code is spent either way.
    std::optional<std::string> redeem(std::string_view code);
    // True for "Bearer <token>" with a token that redeem gave.
    bool authorizes(std::string_view authorization) const;

    // Whether this process serves the page, so that its codes are the ones
    // the page can redeem.
    void setServing(bool serving);
    bool serving() const;

private:
    struct Code {
        std::string value;
        std::chrono::steady_clock::time_point issued;
    };

    Clock clock_;
    mutable std::mutex mutex_;
    std::vector<Code> codes_;
    std::vector<std::string> tokens_;
    bool serving_ = false;
};

// The routes of the exchange, POST /page/code (a code, for a host program
// that opens the page) and POST /page/session ({"code"} for {"token"}), and
// the server's credential check: the page's own files and the exchange are
// open to a process outside the session, the rest needs the token.
void registerPageAccess(HttpServer& server, PageCredentials& credentials);

} // namespace obx
