#include "HelperProcess.h"

#include "support/PrivateBus.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <thread>
#include <unistd.h>

namespace obx::test {

namespace net = boost::asio;

namespace {

std::string uniqueSessionId() {
    static int counter = 0;
    return "obxtest" + std::to_string(::getpid()) + "x" + std::to_string(++counter);
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    return PrivateBus::waitUntil(condition, timeout);
}

std::uint16_t freePort() {
    net::io_context io;
    net::ip::tcp::acceptor probe(io, {net::ip::make_address("127.0.0.1"), 0});
    return probe.local_endpoint().port();
}

std::string httpGet(std::uint16_t port, const std::string& path) {
    net::io_context io;
    net::ip::tcp::socket socket(io);
    boost::system::error_code error;
    socket.connect({net::ip::make_address("127.0.0.1"), port}, error);
    if (error) {
        return {};
    }
    // The server takes only the loopback host names, with the port.
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nConnection: close\r\n\r\n";
    net::write(socket, net::buffer(request), error);
    std::string answer;
    net::read(socket, net::dynamic_buffer(answer), error);
    return answer;
}

bool httpAnswers(std::uint16_t port) {
    return httpGet(port, "/config/general").rfind("HTTP/1.1 200", 0) == 0;
}

HelperSetting::HelperSetting() : port_(freePort()), sessionId_(uniqueSessionId()) {
    program = OBXHELPER_PATH;
    // The instance's mark goes into the user's private runtime folder.
    std::filesystem::create_directory(folder_ / "runtime");
    std::filesystem::permissions(folder_ / "runtime", std::filesystem::perms::owner_all);
    environment = {
        // Empty counts as unset: no X display.
        "DISPLAY=",
        "XDG_CONFIG_HOME=" + (folder_ / "config").string(),
        "OBX_RUNTIME_DIR=" + (folder_ / "run").string(),
        "OBX_HTTP_PORT=" + std::to_string(port_),
        "XDG_SESSION_ID=" + sessionId_,
        "XDG_RUNTIME_DIR=" + (folder_ / "runtime").string(),
        // No system or session bus unless a test brings its own.
        "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (folder_ / "no-bus").string(),
        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (folder_ / "no-bus").string(),
    };
}

void HelperSetting::setEnvironment(const std::string& name, const std::string& value) {
    std::erase_if(environment, [&](const std::string& entry) { return entry.rfind(name + "=", 0) == 0; });
    environment.push_back(name + "=" + value);
}

std::filesystem::path HelperSetting::dataFolder() const {
    return folder_ / "config" / "Halvex" / "Ombrix";
}

std::filesystem::path HelperSetting::logFile(int counter) const {
    return dataFolder() / ((counter < 10 ? "obxhelper_0" : "obxhelper_") + std::to_string(counter) + ".log");
}

std::string HelperSetting::log(int counter) const {
    return readFile(logFile(counter));
}

namespace {

std::filesystem::path nextOutputFile(const HelperSetting& setting) {
    static int runs = 0;
    return setting.folder() / ("output-" + std::to_string(++runs));
}

std::vector<std::string> commandLine(const HelperSetting& setting, const std::vector<std::string>& args) {
    std::vector<std::string> command{setting.program.string()};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

} // namespace

HelperProcess::HelperProcess(const HelperSetting& setting, const std::vector<std::string>& args)
    : output_(nextOutputFile(setting)), process_(commandLine(setting, args), setting.environment, output_) {}

std::string HelperProcess::errorOutput() const {
    return readFile(output_);
}

std::optional<int> runHelper(const HelperSetting& setting, const std::vector<std::string>& args) {
    return HelperProcess(setting, args).waitExit();
}

} // namespace obx::test
