// The running helper under hostile input: deep documents, connection floods,
// slow senders, web origins, another local user, programs it starts, and a
// broken locale. After each case the helper must still answer a normal
// request.

#include "HelperProcess.h"
#include "RawHttpClient.h"
#include "RunningHelper.h"
#include "XvfbServer.h"

#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace obx::test {
namespace {

using nlohmann::json;

const std::string nestingReason = "JSON nesting deeper than 64 levels";
const std::string originReason = "Request origin not allowed";

std::string hostHeader(std::uint16_t port) {
    return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
}

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

bool contains(const std::optional<std::string>& text, const std::string& part) {
    return text && text->find(part) != std::string::npos;
}

// A connection that sends its bytes one at a time and ignores a server that
// closed it.
class SlowSender {
public:
    SlowSender(std::uint16_t port, std::string bytes) : client_(port), bytes_(std::move(bytes)) {}
    // Sends the next byte; false once all are sent.
    bool sendNext() {
        if (sent_ >= bytes_.size()) {
            return false;
        }
        client_.trySend(bytes_.substr(sent_++, 1));
        return true;
    }

private:
    RawHttpClient client_;
    std::string bytes_;
    std::size_t sent_ = 0;
};

class HostileInputTest : public ::testing::Test {
protected:
    void start(const std::vector<std::string>& args = {}) {
        helper = std::make_unique<RunningHelper>(setting, args);
        ASSERT_TRUE(helper->started());
    }
    void TearDown() override {
        if (helper) {
            EXPECT_TRUE(httpAnswers(setting.port())) << "after the case the helper no longer answers";
            EXPECT_TRUE(helper->process().running());
        }
    }
    std::optional<std::string> post(const std::string& target, const std::string& body,
                                    const std::string& headers = "") {
        RawHttpClient client(setting.port());
        return client.request(httpRequest("POST", target, body, hostHeader(setting.port()) + headers));
    }

    HelperSetting setting;
    std::unique_ptr<RunningHelper> helper;
};

TEST_F(HostileInputTest, DeepNestingIsRefusedWithAReason) {
    start();
    for (const char* target : {"/config/apps?device=1", "/config/buttons?app=*&device=1&button=32",
                               "/config/pointer?app=*&device=1", "/config/general"}) {
        for (std::size_t depth : {65u, 60000u}) {
            const auto answer = post(target, nested(depth));
            EXPECT_TRUE(contains(answer, "HTTP/1.1 400 Bad Request")) << target << " " << depth;
            EXPECT_TRUE(contains(answer, nestingReason)) << target << " " << depth;
        }
        // At the limit the document is read; the operation then judges it.
        EXPECT_FALSE(contains(post(target, nested(64)), nestingReason)) << target;
    }
}

// With a descriptor limit below the connection bound the server runs out of
// descriptors while the flood is held open; it must make room and answer.
TEST_F(HostileInputTest, DescriptorFloodThenANormalRequestIsAnswered) {
    setting.program = "/usr/bin/prlimit";
    start({"--nofile=40:40", "--", OBXHELPER_PATH});
    std::vector<std::unique_ptr<RawHttpClient>> flood;
    for (int i = 0; i < 300; ++i) {
        flood.push_back(std::make_unique<RawHttpClient>(setting.port()));
    }
    EXPECT_TRUE(waitUntil([&] { return httpAnswers(setting.port()); }));
    EXPECT_TRUE(waitUntil([&] {
        return setting.log().find("[HTTP] - cannot accept a connection: Too many open files") !=
               std::string::npos;
    })) << setting.log();
    flood.clear();
}

TEST_F(HostileInputTest, SlowSendersDoNotHoldTheServer) {
    start();
    const auto header =
        "POST /config/general HTTP/1.1\r\n" + hostHeader(setting.port()) + "Content-Length: 2\r\n\r\n";
    std::vector<std::unique_ptr<SlowSender>> senders;
    for (int i = 0; i < 40; ++i) {
        senders.push_back(std::make_unique<SlowSender>(setting.port(), header + "{}"));
    }
    // Slow bodies: the header is complete, the body never is.
    std::vector<std::unique_ptr<RawHttpClient>> bodies;
    for (int i = 0; i < 8; ++i) {
        bodies.push_back(std::make_unique<RawHttpClient>(setting.port()));
        bodies.back()->send("POST /config/general HTTP/1.1\r\n" + hostHeader(setting.port()) +
                            "Content-Length: 1000\r\n\r\n{\"a\":");
    }
    for (int round = 0; round < 20; ++round) {
        for (auto& sender : senders) {
            sender->sendNext();
        }
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(httpAnswers(setting.port()));
}

TEST_F(HostileInputTest, NullOriginIsForbidden) {
    start();
    const auto answer = post("/config/general", "{\"trayIcon\":false}", "Origin: null\r\n");
    EXPECT_TRUE(contains(answer, "HTTP/1.1 403 Forbidden")) << answer.value_or("<no answer>");
    EXPECT_TRUE(contains(answer, originReason));
    // Native clients send no Origin and are served.
    EXPECT_TRUE(contains(post("/config/general", "{\"trayIcon\":false}"), "HTTP/1.1 200 OK"));
}

TEST_F(HostileInputTest, AnotherUserIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run a client as another user";
    }
    start();
    const std::string body = R"({"command":"open","path":"/tmp/evil"})";
    const std::string request =
        "POST /config/buttons?app=*&device=1&button=32 HTTP/1.1\\r\\n" + std::string("Host: 127.0.0.1:") +
        std::to_string(setting.port()) +
        "\\r\\nConnection: close\\r\\nContent-Length: " + std::to_string(body.size()) + "\\r\\n\\r\\n" + body;
    const auto output = setting.folder() / "other-user";
    SpawnedProcess client({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--",
                           "/bin/bash", "-c",
                           "exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(setting.port()) + " && printf '" +
                               request + "' >&3 && cat <&3"},
                          {}, output);
    ASSERT_EQ(client.waitExit(kWait), 0) << readFile(output);
    EXPECT_NE(readFile(output).find("HTTP/1.1 403 Forbidden"), std::string::npos) << readFile(output);
    EXPECT_NE(readFile(output).find(originReason), std::string::npos);
    EXPECT_TRUE(waitUntil([&] {
        return setting.log().find("[HTTP] - refusing a connection from a process of another user") !=
               std::string::npos;
    })) << setting.log();
}

// A program of the user in a sandbox of its own (bubblewrap, as Flatpak runs one) shares the
// host's network but not its mount namespace: it is refused reads, changes and the event stream,
// unless it brings the token of a page the helper opened.
TEST_F(HostileInputTest, ASandboxedProgramOfTheUserIsRefusedWithoutThePagesToken) {
    start();
    const auto code = post("/page/code", "{}");
    ASSERT_TRUE(contains(code, "HTTP/1.1 200 OK")) << code.value_or("<no answer>");
    const auto script = setting.folder() / "sandboxed.sh";
    writeFile(script, R"sh(ask() { echo "== $1"; shift; curl -s -i -m 3 "$@"; echo; }
ask read "$BASE/config"
ask change --data '{"command":"open","path":"/tmp/x"}' "$BASE/config/buttons?app=*&device=1&button=32"
ask events "$BASE/events"
ask status "$BASE/status"
token=$(curl -s --data "$EXCHANGE" "$BASE/page/session" | sed 's/.*"token":"\([0-9a-f]*\)".*/\1/')
ask with-token -H "Authorization: Bearer $token" "$BASE/config"
)sh");
    const auto output = setting.folder() / "sandboxed";
    SpawnedProcess client({"/usr/bin/bwrap", "--ro-bind", "/", "/", "--dev", "/dev", "--proc", "/proc",
                           "--unshare-pid", "--share-net", "--die-with-parent", "/bin/sh", script.string()},
                          {"BASE=http://127.0.0.1:" + std::to_string(setting.port()),
                           "EXCHANGE=" + code->substr(code->find("{\"code\""))},
                          output);
    ASSERT_EQ(client.waitExit(kWait), 0) << readFile(output);
    const auto answers = readFile(output);
    const auto answerTo = [&](const std::string& name) {
        const auto from = answers.find("== " + name + "\n");
        return from == std::string::npos ? std::string()
                                         : answers.substr(from, answers.find("\n== ", from + 1) - from);
    };
    for (const char* refused : {"read", "change", "events", "status"}) {
        EXPECT_TRUE(answerTo(refused).find("HTTP/1.1 403 Forbidden") != std::string::npos &&
                    answerTo(refused).find(originReason) != std::string::npos)
            << refused << ": " << answers;
    }
    EXPECT_NE(answerTo("with-token").find("HTTP/1.1 200 OK"), std::string::npos) << answers;
    EXPECT_NE(
        setting.log().find("[HTTP] - refusing a process outside the user's session that has no credential"),
        std::string::npos)
        << setting.log();
    // A program outside a sandbox is served as it was.
    EXPECT_TRUE(contains(post("/config/general", "{\"trayIcon\":false}"), "HTTP/1.1 200 OK"));
}

// A connection that a sandbox shares with a process of the host (here inherited, the host's
// process the newest holder) is the sandbox's.
TEST_F(HostileInputTest, AConnectionASandboxSharesWithTheHostIsRefused) {
    start();
    const auto script = setting.folder() / "shared.sh";
    writeFile(script, R"sh(exec 3<>"/dev/tcp/127.0.0.1/$PORT"
bwrap --ro-bind / / --dev /dev --proc /proc --unshare-pid --share-net --die-with-parent sh -c \
    'sleep 1; printf "GET /config HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nConnection: close\r\n\r\n" "$PORT" >&3; cat <&3' &
sleep 0.5
sleep 3 &
wait %1
)sh");
    const auto output = setting.folder() / "shared";
    SpawnedProcess client({"/bin/bash", script.string()}, {"PORT=" + std::to_string(setting.port())}, output);
    ASSERT_EQ(client.waitExit(kWait), 0) << readFile(output);
    EXPECT_TRUE(contains(readFile(output), "HTTP/1.1 403 Forbidden")) << readFile(output);
}

// What the helper had open must not outlive it in a program it started: a
// new helper binds the same port while that program still runs.
TEST(HostileProgramTest, StartedProgramDoesNotHoldThePort) {
    x11::test::XvfbServer display;
    ASSERT_FALSE(display.displayName().empty()) << display.failure();
    HelperSetting setting;
    const auto programs = setting.folder() / "programs";
    std::filesystem::create_directories(programs);
    const auto started = setting.folder() / "started";
    // The stand-in for xdg-open lists its descriptors, then stays.
    writeFile(programs / "xdg-open", "#!/bin/sh\necho $$ > '" + started.string() +
                                         ".pid'\nls -l /proc/$$/fd > '" + started.string() + ".tmp'\nmv '" +
                                         started.string() + ".tmp' '" + started.string() +
                                         "'\nexec sleep 60\n");
    std::filesystem::permissions(programs / "xdg-open", std::filesystem::perms::owner_all);
    const char* path = std::getenv("PATH");
    setting.setEnvironment("PATH", programs.string() + ":" + (path ? path : "/usr/bin:/bin"));
    setting.setEnvironment("DISPLAY", display.displayName());
    VirtualTrackball trackball(setting);
    ASSERT_TRUE(trackball.ready());
    pid_t opened = 0;
    {
        RunningHelper helper(setting);
        ASSERT_TRUE(helper.started());
        json devices;
        ASSERT_TRUE(waitUntil([&] {
            RawHttpClient client(setting.port());
            const auto answer =
                client.request(httpRequest("GET", "/devices", "", hostHeader(setting.port()))).value_or("");
            devices = json::parse(answer.substr(answer.find("\n\n") + 2), nullptr, false);
            return devices.is_object() && !devices["devices"].empty();
        }));
        const auto id = devices["devices"][0]["id"].get<int>();
        RawHttpClient client(setting.port());
        ASSERT_TRUE(contains(client.request(httpRequest(
                                 "POST", "/config/buttons?app=*&device=" + std::to_string(id) + "&button=32",
                                 R"({"command":"open","path":"/tmp"})", hostHeader(setting.port()))),
                             "HTTP/1.1 200 OK"));
        ASSERT_TRUE(trackball.sendButtons(0x20));
        ASSERT_TRUE(trackball.sendButtons(0x00));
        ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(started); })) << setting.log();
        opened = std::stoi(readFile(started.string() + ".pid"));
        helper.process().signal(SIGTERM);
        EXPECT_EQ(helper.process().waitExit(), 0);
    }
    // Neither a socket (the port, the instance mark, the driver sessions)
    // nor the log reached the program.
    const auto descriptors = readFile(started);
    EXPECT_EQ(descriptors.find("socket:"), std::string::npos) << descriptors;
    EXPECT_EQ(descriptors.find("obxhelper_"), std::string::npos) << descriptors;
    EXPECT_TRUE(::kill(opened, 0) == 0) << "the started program should still run";
    RunningHelper again(setting);
    EXPECT_TRUE(again.started());
    ::kill(opened, SIGKILL);
}

TEST(HostileProgramTest, MissingLocaleFallsBackToCUtf8) {
    HelperSetting setting;
    setting.setEnvironment("LANG", "xx_YY.UTF-8");
    setting.setEnvironment("LC_ALL", "xx_YY.UTF-8");
    {
        RunningHelper helper(setting);
        ASSERT_TRUE(helper.started());
        EXPECT_NE(setting.log().find("The system locale is not available ("), std::string::npos)
            << setting.log();
        EXPECT_EQ(runHelper(setting, {"--quit"}), 0);
        EXPECT_EQ(helper.process().waitExit(), 0);
    }
}

} // namespace
} // namespace obx::test
