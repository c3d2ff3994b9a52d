#include "HelperProcess.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace obx::test {

namespace net = boost::asio;

namespace {

std::string uniqueSessionId() {
    static int counter = 0;
    return "obxtest" + std::to_string(::getpid()) + "x" + std::to_string(++counter);
}

bool replacedByUs(const char* entry) {
    for (const char* name : {"DISPLAY=", "XDG_CONFIG_HOME=", "OBX_HTTP_PORT=", "OBX_RUNTIME_DIR=",
                             "XDG_SESSION_ID=", "DBUS_SYSTEM_BUS_ADDRESS="}) {
        if (std::strncmp(entry, name, std::strlen(name)) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::uint16_t freePort() {
    net::io_context io;
    net::ip::tcp::acceptor probe(io, {net::ip::make_address("127.0.0.1"), 0});
    return probe.local_endpoint().port();
}

bool httpAnswers(std::uint16_t port) {
    net::io_context io;
    net::ip::tcp::socket socket(io);
    boost::system::error_code error;
    socket.connect({net::ip::make_address("127.0.0.1"), port}, error);
    if (error) {
        return false;
    }
    // The server takes only the loopback host names, with the port.
    const std::string request = "GET /config/general HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nConnection: close\r\n\r\n";
    net::write(socket, net::buffer(request), error);
    std::string answer;
    net::read(socket, net::dynamic_buffer(answer), error);
    return answer.rfind("HTTP/1.1 200", 0) == 0;
}

HelperSetting::HelperSetting() : port_(freePort()), sessionId_(uniqueSessionId()) {
    program = OBXHELPER_PATH;
    environment = {
        "XDG_CONFIG_HOME=" + (folder_ / "config").string(),
        "OBX_RUNTIME_DIR=" + (folder_ / "run").string(),
        "OBX_HTTP_PORT=" + std::to_string(port_),
        "XDG_SESSION_ID=" + sessionId_,
        // No system bus unless a test brings its own.
        "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (folder_ / "no-bus").string(),
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

HelperProcess::HelperProcess(const HelperSetting& setting, const std::vector<std::string>& args) {
    static int runs = 0;
    errors_ = setting.folder() / ("stderr-" + std::to_string(++runs));
    std::vector<std::string> env = setting.environment;
    for (char** entry = environ; *entry; ++entry) {
        bool overridden = replacedByUs(*entry);
        for (const auto& own : setting.environment) {
            overridden = overridden || std::strncmp(*entry, own.c_str(), own.find('=') + 1) == 0;
        }
        if (!overridden) {
            env.emplace_back(*entry);
        }
    }
    std::vector<char*> argv{const_cast<char*>(setting.program.c_str())};
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, errors_.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int result = posix_spawn(&pid_, argv.front(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        throw std::runtime_error(setting.program.string() + ": " + std::strerror(result));
    }
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd_ < 0) {
        throw std::runtime_error(std::string("pidfd_open: ") + std::strerror(errno));
    }
}

HelperProcess::~HelperProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ::close(pidfd_);
}

std::optional<int> HelperProcess::waitExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) {
        return std::nullopt;
    }
    pollfd entry{pidfd_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        return std::nullopt;
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
}

bool HelperProcess::running() const {
    pollfd entry{pidfd_, POLLIN, 0};
    return pid_ > 0 && ::poll(&entry, 1, 0) == 0;
}

void HelperProcess::signal(int number) const {
    ::kill(pid_, number);
}

std::string HelperProcess::errorOutput() const {
    return readFile(errors_);
}

std::optional<int> runHelper(const HelperSetting& setting, const std::vector<std::string>& args) {
    return HelperProcess(setting, args).waitExit();
}

} // namespace obx::test
