#include "shell/HelperCore.h"

#include "devices/DeviceManagerBase.h"
#include "settings/Settings.h"
#include "support/TempFolder.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace obx {
namespace {

namespace net = boost::asio;

class RecordingDeviceLayer : public DeviceLayer {
public:
    IObxDeviceManager& manager() override {
        calls.push_back("manager");
        if (!manager_) {
            manager_ = std::make_unique<DeviceManagerBase>();
            manager_->useSettings(std::make_unique<Settings>());
        }
        return *manager_;
    }
    void start() override {
        calls.push_back("start");
        if (!starts) {
            throw std::runtime_error("Error initializing device manager");
        }
    }
    void destroy() override {
        calls.push_back("destroy");
        manager_.reset();
    }

    bool starts = true;
    std::vector<std::string> calls;

private:
    std::unique_ptr<DeviceManagerBase> manager_;
};

bool portAnswers(std::uint16_t port) {
    net::io_context io;
    net::ip::tcp::socket socket(io);
    boost::system::error_code error;
    socket.connect({net::ip::make_address("127.0.0.1"), port}, error);
    return !error;
}

TEST(HelperCoreTest, ManagerThatDoesNotStartFailsCreationAndIsReleased) {
    RecordingDeviceLayer devices;
    devices.starts = false;
    try {
        HelperCore core(devices, 0);
        FAIL() << "the core was made";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Error initializing device manager");
    }
    EXPECT_EQ(devices.calls, (std::vector<std::string>{"manager", "start", "destroy"}));
}

TEST(HelperCoreTest, ServesUntilDestroyedThenReleasesTheManager) {
    RecordingDeviceLayer devices;
    std::uint16_t port = 0;
    {
        // A port chosen by the system, learnt from a listener that then goes.
        net::io_context io;
        net::ip::tcp::acceptor probe(io, {net::ip::make_address("127.0.0.1"), 0});
        port = probe.local_endpoint().port();
    }
    {
        HelperCore core(devices, port);
        EXPECT_EQ(&core.deviceManager(), &devices.manager());
        // The server thread may still be binding: connect until it answers.
        bool answered = false;
        for (int attempt = 0; attempt < 200 && !answered; ++attempt) {
            answered = portAnswers(port);
            if (!answered) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        EXPECT_TRUE(answered);
    }
    EXPECT_FALSE(portAnswers(port));
    EXPECT_EQ(devices.calls.back(), "destroy");
}

} // namespace
} // namespace obx
