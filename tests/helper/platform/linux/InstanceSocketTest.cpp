#include "platform/linux/shell/InstanceSocket.h"

#include "HelperProcess.h"
#include "support/TempFolder.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace obx::linuxos {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;

int connectTo(const std::filesystem::path& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One round of the main loop over the listener alone, waiting at most 100 ms.
void pump(InstanceListener& listener) {
    std::vector<pollfd> fds;
    listener.addDescriptors(fds);
    const int wanted = listener.timeoutMs();
    ::poll(fds.data(), fds.size(), wanted < 0 ? 100 : std::min(wanted, 100));
    listener.handle(fds);
}

class InstanceSocketTest : public ::testing::Test {
protected:
    std::filesystem::path socket() const { return folder / "obxhelper-test"; }

    // Whether a quit request of another thread reaches the listener. The
    // instance is this process, which does not end: no wait.
    bool quitReaches(InstanceListener& listener) {
        std::thread asking([&] { requestQuit(socket(), 0ms); });
        const bool reached = waitUntil([&] {
            pump(listener);
            return listener.quitRequested();
        });
        asking.join();
        return reached;
    }

    test::TempFolder folder;
};

TEST_F(InstanceSocketTest, OneHolderAtATimeAndTheMarkGoesWithIt) {
    EXPECT_EQ(InstanceListener::holder(socket()), 0);
    auto first = InstanceListener::claim(socket());
    ASSERT_TRUE(first);
    EXPECT_FALSE(InstanceListener::claim(socket()));
    EXPECT_EQ(InstanceListener::holder(socket()), ::getpid()) << "named for a later start";
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(socket()));
    // A socket file left behind by an instance that was killed does not
    // block the next one.
    test::writeFile(socket(), "stale");
    EXPECT_TRUE(InstanceListener::claim(socket()));
}

TEST_F(InstanceSocketTest, QuitRequestReachesTheInstance) {
    auto listener = InstanceListener::claim(socket());
    ASSERT_TRUE(listener);
    EXPECT_TRUE(quitReaches(*listener));
}

TEST_F(InstanceSocketTest, QuitWithoutAnInstanceReturnsAtOnce) {
    const auto before = std::chrono::steady_clock::now();
    requestQuit(socket(), 60s);
    test::writeFile(socket(), "not a socket");
    requestQuit(socket(), 60s);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 30s);
}

TEST_F(InstanceSocketTest, SilentConnectionsAreBoundedAndTimedOut) {
    auto listener = InstanceListener::claim(socket(), {4, 300ms, 100ms});
    ASSERT_TRUE(listener);
    std::vector<int> clients;
    for (int i = 0; i < 12; ++i) {
        clients.push_back(connectTo(socket()));
        pump(*listener);
        EXPECT_LE(listener->openClients(), 4u);
    }
    EXPECT_TRUE(waitUntil([&] {
        pump(*listener);
        return listener->openClients() == 0;
    }));
    for (int client : clients) {
        ::close(client);
    }
    EXPECT_TRUE(quitReaches(*listener));
}

// Out of descriptors, the listener stays ready; the loop must then wait
// rather than call accept again and again.
TEST_F(InstanceSocketTest, RunningOutOfDescriptorsPausesAccepting) {
    auto listener = InstanceListener::claim(socket(), {4, 10s, 500ms});
    ASSERT_TRUE(listener);
    const int client = connectTo(socket());
    ASSERT_GE(client, 0);
    std::vector<pollfd> fds;
    listener->addDescriptors(fds);
    ASSERT_EQ(::poll(fds.data(), fds.size(), 5000), 1);
    // No new descriptor at all: the accept fails.
    rlimit original{};
    ::getrlimit(RLIMIT_NOFILE, &original);
    rlimit none = original;
    none.rlim_cur = 0;
    ::setrlimit(RLIMIT_NOFILE, &none);
    listener->handle(fds);
    fds.clear();
    listener->addDescriptors(fds);
    EXPECT_EQ(fds[0].events, 0) << "the listener is still polled while accepting cannot succeed";
    EXPECT_GT(listener->timeoutMs(), 0);
    EXPECT_LE(listener->timeoutMs(), 500);
    ::setrlimit(RLIMIT_NOFILE, &original);
    // After the pause the waiting connection is taken.
    EXPECT_TRUE(waitUntil([&] {
        pump(*listener);
        return listener->openClients() == 1;
    }));
    ::close(client);
}

TEST(PrivateRuntimeFolder, OnlyAPrivateFolderOfThisUserIsTaken) {
    test::TempFolder folder;
    const char* previous = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = previous ? previous : "";
    ::setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
    ::chmod(folder.path().c_str(), 0700);
    EXPECT_EQ(privateRuntimeFolder(), folder.path());
    // Others may enter: not private, the fallback is used.
    ::chmod(folder.path().c_str(), 0755);
    const auto fallback = privateRuntimeFolder();
    EXPECT_NE(fallback, folder.path());
    struct stat status {};
    ASSERT_EQ(::lstat(fallback.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_EQ(status.st_uid, ::geteuid());
    if (previous) {
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

} // namespace
} // namespace obx::linuxos
