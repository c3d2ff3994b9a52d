#include "server/PageFiles.h"

#include "RawHttpClient.h"
#include "server/HttpResponse.h"
#include "server/HttpServer.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace obx {
namespace {

using test::httpRequest;
using test::RawHttpClient;
using test::TempFolder;
using test::writeFile;

std::string headerValue(const std::string& response, const std::string& name) {
    const auto at = response.find("\r\n" + name + ": ");
    if (at == std::string::npos) {
        return {};
    }
    const auto start = at + name.size() + 4;
    return response.substr(start, response.find("\r\n", start) - start);
}

std::string statusLine(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
}

std::string bodyOf(const std::string& response) {
    return response.substr(response.find("\r\n\r\n") + 4);
}

TEST(PageFileName, NamesOnlyPlainFilesInsideTheFolder) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"", "index.html"},
        {"js/", "js/index.html"},
        {"style.css", "style.css"},
        {"js/main.js", "js/main.js"},
        {"icons/a-b_c.1.svg", "icons/a-b_c.1.svg"},
        {"%6As/main.js", "js/main.js"},
        {"..", std::nullopt},
        {"../secret.txt", std::nullopt},
        {"js/../../secret.txt", std::nullopt},
        {"%2e%2e/secret.txt", std::nullopt},
        {"%2E%2E%2Fsecret.txt", std::nullopt},
        {"js%2f..%2f..%2fsecret.txt", std::nullopt},
        {"%252e%252e/secret.txt", std::nullopt},
        {".hidden", std::nullopt},
        {"./index.html", std::nullopt},
        {"js//main.js", std::nullopt},
        {"/etc/passwd", std::nullopt},
        {"..\\secret.txt", std::nullopt},
        {"%5c..%5csecret.txt", std::nullopt},
        {"C:%5Cwindows", std::nullopt},
        {"index.html%00.js", std::nullopt},
        {"index%", std::nullopt},
        {"index%2", std::nullopt},
        {"index%zz", std::nullopt},
        {"%C3%A9.html", std::nullopt},
        {"a b.html", std::nullopt},
        {std::string(1025, 'a'), std::nullopt},
    };
    for (auto& [path, expected] : cases) {
        EXPECT_EQ(pageFileName(path), expected) << path;
    }
}

class PageServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folder / "ui" / "js");
        std::filesystem::create_directories(folder / "ui" / "empty");
        writeFile(folder / "ui" / "index.html", "<!doctype html><title>page</title>\n");
        writeFile(folder / "ui" / "style.css", "body{}\n");
        writeFile(folder / "ui" / "js" / "main.js", "export const x = 1;\n");
        writeFile(folder / "ui" / "js" / "notes.bak", "old\n");
        writeFile(folder / "secret.txt", "secret\n");
        server.addRoute("GET", "^/devices$", [](const HttpRequest&) { return successResponse("devices"); });
        server.setDefaultHandler("GET", [](const HttpRequest&) { return successResponse("version"); });
        registerPage(server, folder / "ui");
        thread = std::thread([this] { server.run(); });
        port = server.waitUntilListening();
        ASSERT_NE(port, 0);
    }
    void TearDown() override {
        server.stop();
        thread.join();
    }

    std::string get(const std::string& target, const std::string& headers = "") {
        RawHttpClient client(port);
        return client.request(httpRequest("GET", target, "", headers)).value_or("no answer");
    }

    TempFolder folder;
    HttpServer server{"127.0.0.1", 0};
    std::thread thread;
    std::uint16_t port = 0;
};

TEST_F(PageServerTest, FilesAreAnsweredWithTheirTypeTagAndSecurityHeaders) {
    const std::vector<std::tuple<std::string, std::string, std::string>> files{
        {"/ui/", "text/html; charset=utf-8", "<!doctype html><title>page</title>\n"},
        {"/ui/index.html", "text/html; charset=utf-8", "<!doctype html><title>page</title>\n"},
        {"/ui/style.css", "text/css; charset=utf-8", "body{}\n"},
        {"/ui/js/main.js", "text/javascript; charset=utf-8", "export const x = 1;\n"},
    };
    for (auto& [target, type, content] : files) {
        const auto response = get(target);
        EXPECT_EQ(statusLine(response), "HTTP/1.1 200 OK") << target;
        EXPECT_EQ(headerValue(response, "Content-Type"), type) << target;
        EXPECT_EQ(bodyOf(response), content) << target;
        EXPECT_EQ(headerValue(response, "X-Content-Type-Options"), "nosniff") << target;
        EXPECT_EQ(headerValue(response, "Content-Security-Policy"),
                  "default-src 'self'; script-src 'self'; connect-src 'self'; img-src 'self' data:; "
                  "style-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'")
            << target;
        EXPECT_EQ(headerValue(response, "ETag").size(), 18u) << target;
    }
    EXPECT_NE(headerValue(get("/ui/style.css"), "ETag"), headerValue(get("/ui/js/main.js"), "ETag"));
}

TEST_F(PageServerTest, AKnownTagIsAnsweredNotModifiedUntilTheFileChanges) {
    const auto tag = headerValue(get("/ui/style.css"), "ETag");
    for (const std::string& condition : {tag, "W/" + tag, "\"other\", " + tag, std::string("*")}) {
        const auto response = get("/ui/style.css", "If-None-Match: " + condition + "\r\n");
        EXPECT_EQ(statusLine(response), "HTTP/1.1 304 Not Modified") << condition;
        EXPECT_EQ(headerValue(response, "ETag"), tag);
        EXPECT_EQ(headerValue(response, "X-Content-Type-Options"), "nosniff");
        EXPECT_EQ(bodyOf(response), "");
    }
    EXPECT_EQ(statusLine(get("/ui/style.css", "If-None-Match: \"other\"\r\n")), "HTTP/1.1 200 OK");
    writeFile(folder / "ui" / "style.css", "body{color:red}\n");
    const auto changed = get("/ui/style.css", "If-None-Match: " + tag + "\r\n");
    EXPECT_EQ(statusLine(changed), "HTTP/1.1 200 OK");
    EXPECT_EQ(bodyOf(changed), "body{color:red}\n");
    EXPECT_NE(headerValue(changed, "ETag"), tag);
}

TEST_F(PageServerTest, TheBarePrefixRedirectsAndTheApiKeepsItsRoutes) {
    const auto response = get("/ui");
    EXPECT_EQ(statusLine(response), "HTTP/1.1 301 Moved Permanently");
    EXPECT_EQ(headerValue(response, "Location"), "/ui/");
    EXPECT_EQ(get("/devices"), successResponse("devices"));
    EXPECT_EQ(get("/uix"), successResponse("version"));
    EXPECT_EQ(get("/"), successResponse("version"));
}

TEST_F(PageServerTest, FoldersAreNeverListedAndNothingOutsideIsReached) {
#ifdef __linux__
    std::filesystem::create_symlink(folder / "secret.txt", folder / "ui" / "link.txt");
#endif
    for (const std::string target :
         {"/ui/empty/", "/ui/empty", "/ui/js", "/ui/missing.html", "/ui/js/notes.bak", "/ui/../secret.txt",
          "/ui/%2e%2e/secret.txt", "/ui/js/%2e%2e%2f%2e%2e%2fsecret.txt", "/ui/link.txt", "/ui//secret.txt",
          "/ui/..%5csecret.txt"}) {
        const auto response = get(target);
        EXPECT_EQ(statusLine(response), "HTTP/1.1 404 Not Found") << target;
        EXPECT_EQ(response.find("secret\n"), std::string::npos) << target;
        EXPECT_EQ(headerValue(response, "X-Content-Type-Options"), "nosniff") << target;
    }
}

} // namespace
} // namespace obx
