// The seat's rule against a mocked logind: the daemon's seat access, a trackball's control socket and
// the modifier socket in this process, their loop on a thread of its own; clients of other users
// connect from the test's thread under those users' ids.

#include "ControlClient.h"
#include "EventLoop.h"
#include "ModifierEndpoint.h"
#include "driver/shared/ObxControl.h"
#include "hardware/SeatAccess.h"
#include "helper/shell/PrivateLogind.h"
#include "support/DaemonProcess.h"
#include "virtual/VirtualTrackball.h"
#include "wire/ModifierWire.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>

namespace obx::test {
namespace {

using namespace std::chrono_literals;
using kernd::ControlClient;
using kernd::UniqueFd;

constexpr uid_t kFirstUser = 61001;
constexpr uid_t kSecondUser = 61002;

// While it lives, this thread alone acts as `user` (the system call itself changes only the calling
// thread, unlike the C library's function), so the daemon's thread goes on as root.
class ActingAs {
public:
    explicit ActingAs(uid_t user) {
        if (::syscall(SYS_setresuid, -1, user, -1) != 0)
            throw std::runtime_error("cannot take user " + std::to_string(user) + "'s id");
    }
    ~ActingAs() { ::syscall(SYS_setresuid, -1, 0, -1); }
};

// A connection whose peer is `user`.
UniqueFd connectAs(uid_t user, const std::filesystem::path& socket) {
    const ActingAs as(user);
    return connectSeqPacket(socket);
}

// The status of a completion that came, else one no daemon sends.
uint32_t statusOf(const std::optional<kernd::WireCompletion>& completion) {
    return completion ? completion->status : 0xFFFFFFFF;
}

// Whether the connection ends before `deadline` without a message coming first.
bool endsUnanswered(int fd, std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ready{fd, POLLIN, 0};
    char byte = 0;
    return ::poll(&ready, 1, static_cast<int>(std::max(left.count(), 0L))) == 1 &&
           ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

// Whether the modifier socket answers a question on `fd` with its four bytes.
bool answersModifiers(int fd) {
    std::array<uint8_t, 8> answer{};
    pollfd ready{fd, POLLIN, 0};
    return ::send(fd, "?", 1, MSG_NOSIGNAL) == 1 && ::poll(&ready, 1, static_cast<int>(kWait.count())) == 1 &&
           ::recv(fd, answer.data(), answer.size(), 0) == wire::kModifierAnswerSize;
}

// The daemon's loop on a thread, stopped from the loop itself when the test ends.
class LoopThread final : private kernd::IEventHandler {
public:
    explicit LoopThread(kernd::EventLoop& loop) : loop_(loop), stop_(::eventfd(0, EFD_CLOEXEC)) {
        loop_.add(stop_.get(), EPOLLIN, *this);
        thread_ = std::thread([this] { loop_.run(); });
    }
    ~LoopThread() override {
        const uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(stop_.get(), &one, sizeof one);
        thread_.join();
        loop_.remove(stop_.get());
    }

private:
    void onEvents(uint32_t) override { loop_.stop(); }

    kernd::EventLoop& loop_;
    UniqueFd stop_;
    std::thread thread_;
};

class SeatAdmission : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::geteuid(), 0u) << "the test connects as other users";
        logind.addSession("c1", true, kFirstUser);
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", logind.address().c_str(), 1);
        access.emplace(loop);
        trackball = kernd::makeVirtualTrackball(loop, 1, {}, folder.path(), *access);
        modifiers.emplace(loop, folder.path(), *access, kernd::SeatAccess::kSeat);
        thread.emplace(loop);
    }
    void TearDown() override { thread.reset(); }

    std::filesystem::path control() const { return folder / "control-01"; }
    std::filesystem::path modifierSocket() const { return folder / wire::kModifierSocketName; }
    void openAsHelper(ControlClient& client) {
        EXPECT_EQ(statusOf(client.control(IOCTL_OBX_GET_DRIVER_INFO, {}, sizeof(OBX_DRIVER_INFO), kWait)),
                  OBX_STATUS_SUCCESS);
        EXPECT_EQ(statusOf(client.control(IOCTL_OBX_REGISTER_HELPER, {}, 0, kWait)), OBX_STATUS_SUCCESS);
    }

    PrivateLogind logind;
    TempFolder folder;
    kernd::EventLoop loop;
    std::optional<kernd::SeatAccess> access;
    std::unique_ptr<kernd::Trackball> trackball;
    std::optional<kernd::ModifierEndpoint> modifiers;
    std::optional<LoopThread> thread;
};

TEST_F(SeatAdmission, TheFormerUsersConnectionsEndWithinASecondWithNothingOfTheNewUsers) {
    ControlClient first(connectAs(kFirstUser, control()));
    openAsHelper(first);
    first.submitRead();
    const UniqueFd firstModifiers = connectAs(kFirstUser, modifierSocket());
    ASSERT_TRUE(answersModifiers(firstModifiers.get()));

    const auto switched = std::chrono::steady_clock::now();
    logind.addSession("c2", true, kSecondUser);
    EXPECT_TRUE(endsUnanswered(first.fd(), switched + 1s));
    EXPECT_TRUE(endsUnanswered(firstModifiers.get(), switched + 1s));

    // The sockets are the new user's now, and work for them.
    ControlClient second(connectAs(kSecondUser, control()));
    openAsHelper(second);
    const uint32_t read = second.submitRead();
    VirtualPeer peer(folder.path(), 1);
    ASSERT_TRUE(peer.send(0x80)); // a button that the default map gives the helper
    EXPECT_EQ(statusOf(second.waitFor(read, kWait)), OBX_STATUS_SUCCESS);
    EXPECT_TRUE(answersModifiers(connectAs(kSecondUser, modifierSocket()).get()));
    EXPECT_THROW(connectAs(kFirstUser, modifierSocket()), std::runtime_error);
}

TEST_F(SeatAdmission, OneUserHoldsAtMostHalfOfTheModifierSocketsPlaces) {
    std::vector<UniqueFd> held;
    for (size_t i = 0; i < kernd::ModifierEndpoint::kMaxClients / 2; ++i) {
        held.push_back(connectAs(kFirstUser, modifierSocket()));
        EXPECT_TRUE(answersModifiers(held.back().get())) << "place " << i;
    }
    const UniqueFd oneTooMany = connectAs(kFirstUser, modifierSocket());
    EXPECT_TRUE(endsUnanswered(oneTooMany.get(), std::chrono::steady_clock::now() + kWait));
    EXPECT_TRUE(answersModifiers(connectAs(0, modifierSocket()).get())) << "root keeps its half";
}

} // namespace
} // namespace obx::test
