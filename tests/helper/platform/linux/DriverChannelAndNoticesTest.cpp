// The driver channel, the device notices and the modifier keys of the Linux
// device layer against sockets and folders of the test's own: a daemon that
// never answers, a socket that refuses, and notices lost to a full inotify
// queue.

#include "base/MsgWFMOHandler.h"
#include "devices/Device.h"
#include "platform/linux/base/LinuxWaitPrimitive.h"
#include "platform/linux/devices/DaemonModifierKeys.h"
#include "platform/linux/devices/LinuxDeviceNotices.h"
#include "platform/linux/devices/LinuxDriverChannel.h"
#include "support/ErrorText.h"
#include "support/TempFolder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace obx {
namespace {

using namespace std::chrono_literals;

using test::TempFolder;

// A socket file bound at `path`; listening (but never accepting nor
// answering) or not listening at all, which refuses connections.
int boundSocket(const std::filesystem::path& path, bool listening) {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    if (listening) {
        EXPECT_EQ(::listen(fd, 4), 0);
    }
    return fd;
}

TEST(LinuxDriverChannel, ARequestToADaemonThatNeverAnswersFailsInBoundedTime) {
    TempFolder folder;
    const auto socket = folder.path() / "control-01";
    const int hung = boundSocket(socket, true);
    MsgWFMOHandler worker{std::make_unique<LinuxWaitPrimitive>()};
    Device device(worker, socket.string(), std::make_unique<LinuxDriverChannel>(socket));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(test::errorText([&] { device.open(); }), "Error retrieving driver information");
    // Bounded, and generous for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    ::close(hung);
}

TEST(LinuxDriverChannel, ATimedOutChannelFailsLaterRequestsAtOnceAndEndsItsRead) {
    TempFolder folder;
    const auto socket = folder.path() / "control-01";
    const int hung = boundSocket(socket, true);
    LinuxDriverChannel channel(socket);
    ASSERT_TRUE(channel.open());
    std::array<std::uint8_t, 42> buffer{};
    ASSERT_TRUE(channel.queueRead(buffer));
    std::array<std::uint8_t, 8> output{};
    EXPECT_FALSE(channel.control(0x1, {}, output));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(channel.control(0x1, {}, output));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s) << "no second wait";
    EXPECT_EQ(channel.takeReadResult(), IDriverChannel::ReadState::failed);
    ::close(hung);
}

TEST(LinuxDriverChannel, ARefusedSocketFailsTheOpenWithoutRetrying) {
    TempFolder folder;
    const auto socket = folder.path() / "control-01";
    const int refusing = boundSocket(socket, false);
    LinuxDriverChannel channel(socket);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(channel.open());
    // It used to try again for a second, asleep on the worker.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
    ::close(refusing);
}

// A worker that records the device notices posted to it.
class RecordingWorker final : public MsgWFMOHandler {
public:
    RecordingWorker() : MsgWFMOHandler(std::make_unique<LinuxWaitPrimitive>()) {}
    void dispatchMessage(const WorkerMessage& message) override {
        std::lock_guard guard(mutex_);
        if (message.code == deviceChangeMessage) {
            notices_.emplace_back((message.param == deviceArrivalEvent ? "+" : "-") +
                                  std::filesystem::path(message.text).filename().string());
        }
        changed_.notify_all();
    }
    bool waitFor(const std::vector<std::string>& expected) {
        std::unique_lock guard(mutex_);
        return changed_.wait_for(guard, 20s, [&] { return notices_ == expected; });
    }
    std::vector<std::string> notices() {
        std::lock_guard guard(mutex_);
        return notices_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> notices_;
};

TEST(LinuxDeviceNotices, AnOverflowedQueueIsMadeUpByARescan) {
    TempFolder folder;
    const auto runtime = folder.path() / "run";
    std::filesystem::create_directories(runtime);
    std::ofstream(runtime / "control-01").put('x');
    std::ofstream(runtime / "control-02").put('x');
    LinuxDeviceNotices notices(runtime);
    EXPECT_EQ(notices.presentDevices().size(), 2u);
    RecordingWorker worker;
    notices.startNotices(worker);

    // More events than the queue holds before the worker reads any, then the
    // changes that count, whose own events are lost.
    long limit = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    const auto churn = runtime / "churn";
    for (long i = 0; i <= limit / 2 + 1; ++i) {
        ::close(::open(churn.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        ::unlink(churn.c_str());
    }
    std::filesystem::remove(runtime / "control-01");
    std::ofstream(runtime / "control-03").put('x');

    ASSERT_TRUE(worker.start());
    EXPECT_TRUE(worker.waitFor({"-control-01", "+control-03"})) << ::testing::PrintToString(worker.notices());
    notices.stopNotices();
    worker.stop();
}

TEST(LinuxDeviceNotices, ASocketThatChangesHandsDepartsAndArrivesAgain) {
    TempFolder folder;
    const auto runtime = folder.path() / "run";
    std::filesystem::create_directories(runtime);
    std::ofstream(runtime / "control-01").put('x');
    LinuxDeviceNotices notices(runtime);
    RecordingWorker worker;
    notices.startNotices(worker);
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(worker.waitFor({"+control-01"})) << ::testing::PrintToString(worker.notices());

    // As obxkernd does when another user's session becomes active, and back.
    ASSERT_EQ(::chown((runtime / "control-01").c_str(), 61001, static_cast<gid_t>(-1)), 0);
    EXPECT_TRUE(worker.waitFor({"+control-01", "-control-01", "+control-01"}))
        << ::testing::PrintToString(worker.notices());
    notices.stopNotices();
    worker.stop();
}

// obxkernd's modifier socket: answers every question with `answer`, or
// not at all while it is negative.
class FakeModifierSocket {
public:
    explicit FakeModifierSocket(const std::filesystem::path& folder)
        : listener_(boundSocket(folder / "modifiers", true)), thread_([this] { serve(); }) {}
    ~FakeModifierSocket() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::atomic<long> answer{0};

private:
    void serve() {
        std::vector<int> clients;
        while (!stop_) {
            std::vector<pollfd> ready{{listener_, POLLIN, 0}};
            for (int client : clients) {
                ready.push_back({client, POLLIN, 0});
            }
            ::poll(ready.data(), ready.size(), 20);
            if (ready[0].revents & POLLIN) {
                clients.push_back(::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
            }
            for (std::size_t i = 1; i < ready.size(); ++i) {
                char question;
                if ((ready[i].revents & POLLIN) && ::recv(ready[i].fd, &question, 1, 0) == 1 && answer >= 0) {
                    const auto value = static_cast<std::uint32_t>(answer);
                    ::send(ready[i].fd, &value, sizeof value, MSG_NOSIGNAL);
                }
            }
        }
        for (int client : clients) {
            ::close(client);
        }
    }

    int listener_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(DaemonModifierKeys, TheDaemonsAnswerWithinTheWatchedKeysOrNoneWithoutOne) {
    TempFolder folder;
    DaemonModifierKeys keys(folder.path());
    EXPECT_EQ(keys.held(), 0u) << "no daemon";
    std::this_thread::sleep_for(1100ms); // the pause before the next attempt to connect
    FakeModifierSocket daemon(folder.path());
    struct Case {
        long answer;
        std::uint32_t held;
    };
    for (const auto [answer, held] :
         {Case{0x04, 0x04}, Case{0x15, 0x15}, Case{0xffff'ffff, 0x15}, Case{0, 0}}) {
        daemon.answer = answer;
        EXPECT_EQ(keys.held(), held) << std::hex << answer;
    }
}

TEST(DaemonModifierKeys, ADaemonThatDoesNotAnswerCostsATenthOfASecondAndIsAskedAgainLater) {
    TempFolder folder;
    FakeModifierSocket daemon(folder.path());
    DaemonModifierKeys keys(folder.path());
    daemon.answer = -1;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(keys.held(), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    daemon.answer = 0x10;
    EXPECT_EQ(keys.held(), 0u) << "not connected again at once";
    std::this_thread::sleep_for(1100ms);
    EXPECT_EQ(keys.held(), 0x10u) << "a late answer is not taken for a later question's";
}

} // namespace
} // namespace obx
