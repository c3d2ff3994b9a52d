#include "server/PageCredentials.h"

#include "RawHttpClient.h"
#include "server/HttpResponse.h"
#include "server/HttpServer.h"

#include <gtest/gtest.h>
#include <thread>

namespace obx {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::httpRequest;
using test::RawHttpClient;

class PageCredentialsTest : public ::testing::Test {
protected:
    std::chrono::steady_clock::time_point now{};
    PageCredentials credentials{[this] { return now; }};
};

TEST_F(PageCredentialsTest, ACodeGivesOneTokenWithinItsMinute) {
    const auto code = credentials.issueCode();
    EXPECT_EQ(code.size(), 32u);
    EXPECT_EQ(code.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(credentials.issueCode(), code);
    now += PageCredentials::codeLifetime - 1ms;
    const auto token = credentials.redeem(code);
    ASSERT_TRUE(token);
    EXPECT_EQ(token->size(), 64u);
    EXPECT_FALSE(credentials.redeem(code)) << "a code is used once";
    EXPECT_TRUE(credentials.authorizes("Bearer " + *token));
    for (const std::string& wrong :
         std::vector<std::string>{*token, "bearer " + *token, "Bearer " + token->substr(1), "Bearer ",
                                  "Bearer " + code, "Bearer " + *token + "0"}) {
        EXPECT_FALSE(credentials.authorizes(wrong)) << wrong;
    }
}

TEST_F(PageCredentialsTest, ACodeAMinuteOldIsSpentAndTheOldestGoPastTheBounds) {
    const auto late = credentials.issueCode();
    now += PageCredentials::codeLifetime;
    EXPECT_FALSE(credentials.redeem(late));

    const auto oldest = credentials.issueCode();
    for (std::size_t n = 0; n < PageCredentials::codeLimit; ++n) {
        credentials.issueCode();
    }
    EXPECT_FALSE(credentials.redeem(oldest));
    std::vector<std::string> tokens;
    while (tokens.size() <= PageCredentials::tokenLimit) {
        tokens.push_back(credentials.redeem(credentials.issueCode()).value_or(""));
    }
    EXPECT_FALSE(credentials.authorizes("Bearer " + tokens.front()));
    EXPECT_TRUE(credentials.authorizes("Bearer " + tokens[1]));
    EXPECT_TRUE(credentials.authorizes("Bearer " + tokens.back()));
}

// A server whose every connection is admitted only with the page's credential, as a sandboxed
// process of the user is.
class SandboxedCallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.setConnectionCheck(
            [](const boost::asio::ip::tcp::socket&) { return PeerAdmission::withCredential; });
        server.addRoute("GET", "^/config$", [](const HttpRequest&) { return successResponse("settings"); });
        server.addRoute("GET", "^/ui/.*$", [](const HttpRequest&) { return successResponse("page"); });
        registerPageAccess(server, credentials);
        thread = std::thread([this] { server.run(); });
        port = server.waitUntilListening();
    }
    void TearDown() override {
        server.stop();
        thread.join();
    }
    std::optional<std::string> ask(const std::string& method, const std::string& target,
                                   const std::string& body = "", const std::string& headers = "") {
        RawHttpClient client(port);
        return client.request(httpRequest(method, target, body, headers));
    }

    PageCredentials credentials;
    HttpServer server{"127.0.0.1", 0};
    std::thread thread;
    std::uint16_t port = 0;
    const std::string refused = failureResponse("Request origin not allowed", statusForbidden);
};

TEST_F(SandboxedCallerTest, OnlyThePageFilesAndTheExchangeGoWithoutTheToken) {
    EXPECT_EQ(ask("GET", "/ui/index.html"), successResponse("page"));
    EXPECT_EQ(ask("GET", "/page/session"), refused) << "the exchange is a POST";
    EXPECT_EQ(ask("GET", "/config"), refused);
    EXPECT_EQ(ask("GET", "/config", "", "Authorization: Bearer 00\r\n"), refused);
    EXPECT_EQ(ask("POST", "/page/code", "{}"), refused) << "a sandbox cannot make its own code";
    EXPECT_EQ(ask("POST", "/page/session", R"({"code":"0123456789abcdef0123456789abcdef"})"), refused);
    EXPECT_EQ(ask("POST", "/page/session", "{\"code\":\"" + std::string(300, '0') + "\"}"), refused);

    const auto code = credentials.issueCode();
    const auto answer = ask("POST", "/page/session", json{{"code", code}}.dump());
    ASSERT_TRUE(answer && answer->starts_with("HTTP/1.1 200 OK"));
    const auto token = json::parse(answer->substr(answer->find("\n\n") + 2)).at("token").get<std::string>();
    EXPECT_EQ(ask("POST", "/page/session", json{{"code", code}}.dump()), refused);
    EXPECT_EQ(ask("GET", "/config", "", "Authorization: Bearer " + token + "\r\n"),
              successResponse("settings"));
    const auto minted = ask("POST", "/page/code", "{}", "Authorization: Bearer " + token + "\r\n");
    EXPECT_TRUE(minted && minted->find("\"code\":\"") != std::string::npos);
}

} // namespace
} // namespace obx
