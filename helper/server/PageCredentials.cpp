#include "server/PageCredentials.h"

#include "base/Log.h"
#include "server/HttpResponse.h"
#include "server/HttpServer.h"

#include <algorithm>
#include <random>

namespace obx {

namespace {

constexpr std::string_view bearer = "Bearer ";
constexpr std::size_t tokenBits = 256;
constexpr std::size_t codeBits = 128;
constexpr std::size_t exchangeBodyLimit = 256;

// Hexadecimal digits from a source no one can predict: libstdc++'s
// random_device (since GCC 9, on Linux and on mingw alike) takes the
// processor's RDSEED/RDRAND or the system's getrandom, /dev/urandom or
// rand_s, never a seeded generator.
std::string randomHex(std::size_t bits) {
    static constexpr char digits[] = "0123456789abcdef";
    std::random_device source;
    std::string text;
    while (text.size() * 4 < bits) {
        auto word = source();
        for (int nibble = 0; nibble < 8; ++nibble, word >>= 4) {
            text.push_back(digits[word & 0xf]);
        }
    }
    text.resize(bits / 4);
    return text;
}

// Compares every byte, so that the time an answer takes tells nothing of how
// much of a guess was right.
bool sameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char difference = 0;
    for (std::size_t at = 0; at < a.size(); ++at) {
        difference |= static_cast<unsigned char>(a[at] ^ b[at]);
    }
    return difference == 0;
}

bool isPageFile(std::string_view path) {
    return path == "/ui" || path.starts_with("/ui/");
}

std::string refusal() {
    return failureResponse("Request origin not allowed", statusForbidden);
}

} // namespace

PageCredentials& PageCredentials::instance() {
    static PageCredentials credentials;
    return credentials;
}

PageCredentials::PageCredentials(Clock clock) : clock_(std::move(clock)) {}

std::string PageCredentials::issueCode() {
    auto code = randomHex(codeBits);
    std::lock_guard lock(mutex_);
    if (codes_.size() >= codeLimit) {
        codes_.erase(codes_.begin());
    }
    codes_.push_back({code, clock_()});
    return code;
}

std::optional<std::string> PageCredentials::redeem(std::string_view code) {
    {
        std::lock_guard lock(mutex_);
        const auto found = std::find_if(codes_.begin(), codes_.end(),
                                        [&](const Code& issued) { return sameSecret(issued.value, code); });
        if (found == codes_.end()) {
            return std::nullopt;
        }
        const bool fresh = clock_() - found->issued < codeLifetime;
        codes_.erase(found);
        if (!fresh) {
            return std::nullopt;
        }
    }
    // Made only for a good code, outside the lock.
    auto token = randomHex(tokenBits);
    std::lock_guard lock(mutex_);
    if (tokens_.size() >= tokenLimit) {
        tokens_.erase(tokens_.begin());
    }
    tokens_.push_back(token);
    return token;
}

bool PageCredentials::authorizes(std::string_view authorization) const {
    if (!authorization.starts_with(bearer)) {
        return false;
    }
    authorization.remove_prefix(bearer.size());
    std::lock_guard lock(mutex_);
    bool known = false;
    for (const auto& token : tokens_) {
        known |= sameSecret(token, authorization);
    }
    return known;
}

void PageCredentials::setServing(bool serving) {
    std::lock_guard lock(mutex_);
    serving_ = serving;
}

bool PageCredentials::serving() const {
    std::lock_guard lock(mutex_);
    return serving_;
}

void registerPageAccess(HttpServer& server, PageCredentials& credentials) {
    server.addRoute("POST", "^/page/code$", [&credentials](const HttpRequest&) {
        logText(LogLevel::debug, "[HTTP] - a one-time code for the page");
        return successResponse(nlohmann::json{{"code", credentials.issueCode()}});
    });
    server.addRoute("POST", "^/page/session$", [&credentials](const HttpRequest& request) {
        // {"code":"<32 digits>"} and some spaces; nothing longer is parsed.
        if (request.body.size() > exchangeBodyLimit) {
            return refusal();
        }
        const auto body = nlohmann::json::parse(request.body, nullptr, false);
        const auto code = body.is_object() ? body.find("code") : body.end();
        const auto token = code != body.end() && code->is_string()
                               ? credentials.redeem(code->get_ref<const std::string&>())
                               : std::nullopt;
        if (!token) {
            logText(LogLevel::warning, "[HTTP] - the page brought a code that is spent, old or unknown");
            return refusal();
        }
        return successResponse(nlohmann::json{{"token", *token}});
    });
    server.setCredentialCheck([&credentials](std::string_view method, std::string_view path,
                                             std::optional<std::string_view> authorization) {
        return (method == "GET" && isPageFile(path)) || (method == "POST" && path == "/page/session") ||
               (authorization && credentials.authorizes(*authorization));
    });
}

} // namespace obx
