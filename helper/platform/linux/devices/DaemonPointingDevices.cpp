#include "base/Log.h"
#include "driver/linux/wire/PointingDeviceList.h"
#include "platform/OtherPointingDevices.h"
#include "platform/linux/devices/DaemonSockets.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace obx {

namespace {

// A whole list of kMaxListed devices with the longest names and serials fits.
constexpr std::size_t maxMessage = 32 * 1024;
// The daemon answers from its event loop; slower than this it is taken for gone. The whole request,
// the lists before the answer included, has this long, as it holds the server thread.
constexpr auto answerTime = std::chrono::seconds(2);
constexpr int reconnectPauseMs = 1000;

class Connection {
public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int fd() const { return fd_; }

    // One message, empty when the connection ended, failed or sent one too long to be a list.
    std::string receive() const {
        std::string message(maxMessage, '\0');
        const ssize_t length = ::recv(fd_, message.data(), message.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (length <= 0 || static_cast<std::size_t>(length) > message.size()) {
            return {};
        }
        message.resize(static_cast<std::size_t>(length));
        return message;
    }

    // The next message before deadline, else empty.
    std::string next(std::chrono::steady_clock::time_point deadline) const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd_, POLLIN, 0};
        return left.count() > 0 && ::poll(&ready, 1, static_cast<int>(left.count())) == 1 ? receive()
                                                                                          : std::string();
    }

private:
    int fd_;
};

// One connection follows the list on a thread of its own; each request has a connection of its own,
// so that its answer cannot be mistaken for the follower's messages and no wait of it holds the
// follower (or the device worker) up.
class DaemonPointingDevices final : public OtherPointingDevices {
public:
    explicit DaemonPointingDevices(std::filesystem::path folder)
        : socket_(std::move(folder) / wire::kPointingDeviceSocketName),
          stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    ~DaemonPointingDevices() override {
        if (follower_.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(stop_, &one, sizeof one);
            follower_.join();
        }
        ::close(stop_);
    }

    void follow(std::function<void()> changed) override {
        if (stop_ < 0 || follower_.joinable()) {
            return;
        }
        changed_ = std::move(changed);
        follower_ = std::thread([this] { run(); });
    }

    std::string list() override {
        std::lock_guard lock(mutex_);
        return list_;
    }

    std::string request(const std::string& text) override {
        const Connection connection(connectToDaemonSocket(socket_));
        if (connection.fd() < 0) {
            throw PointingDeviceChoiceFailure("obxkernd cannot be reached at " + socket_.string() + ": " +
                                              std::strerror(errno));
        }
        const auto deadline = std::chrono::steady_clock::now() + answerTime;
        std::string latest = connection.next(deadline);
        if (!wire::isPointingDeviceList(latest) ||
            ::send(connection.fd(), text.data(), text.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(text.size())) {
            throw PointingDeviceChoiceFailure("obxkernd did not answer on " + socket_.string());
        }
        // The lists that the change makes the daemon send come before the answer.
        for (std::string answer = connection.next(deadline);; answer = connection.next(deadline)) {
            const auto kind = wire::pointingDeviceAnswer(answer);
            if (kind == wire::PointingDeviceAnswer::Done) {
                return latest;
            }
            if (kind == wire::PointingDeviceAnswer::Refused) {
                throw PointingDeviceChoiceFailure("obxkernd refused: " + wire::refusalReason(answer));
            }
            if (kind != wire::PointingDeviceAnswer::List) {
                break;
            }
            latest = std::move(answer);
        }
        throw PointingDeviceChoiceFailure("obxkernd did not answer on " + socket_.string());
    }

private:
    void run() {
        while (!stopped(0)) {
            const Connection connection(connectToDaemonSocket(socket_));
            if (connection.fd() >= 0) {
                followOn(connection);
                log(LogLevel::info, "The connection to ", socket_.string(), " ended");
            }
            store({});
            if (stopped(reconnectPauseMs)) {
                return;
            }
        }
    }

    // Until the connection ends or the helper stops.
    void followOn(const Connection& connection) {
        for (;;) {
            std::array<pollfd, 2> ready{pollfd{connection.fd(), POLLIN, 0}, pollfd{stop_, POLLIN, 0}};
            if (::poll(ready.data(), ready.size(), -1) < 0 && errno != EINTR) {
                return;
            }
            if (ready[1].revents != 0) {
                return;
            }
            if (ready[0].revents == 0) {
                continue;
            }
            std::string message = connection.receive();
            if (!wire::isPointingDeviceList(message)) {
                return;
            }
            store(std::move(message));
        }
    }

    void store(std::string message) {
        {
            std::lock_guard lock(mutex_);
            if (message == list_) {
                return;
            }
            list_ = std::move(message);
        }
        changed_();
    }

    // Waits up to milliseconds for the stop.
    bool stopped(int milliseconds) const {
        pollfd ready{stop_, POLLIN, 0};
        return ::poll(&ready, 1, milliseconds) == 1;
    }

    const std::filesystem::path socket_;
    const int stop_;
    std::function<void()> changed_;
    std::mutex mutex_;
    std::string list_;
    std::thread follower_;
};

} // namespace

std::unique_ptr<OtherPointingDevices> makeOtherPointingDevices() {
    return std::make_unique<DaemonPointingDevices>(obxRuntimeFolder());
}

} // namespace obx
