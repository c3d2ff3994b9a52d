// What a saving settings change costs a client beside the durable write it
// cannot do without. POST /config/pointer (each one a new speed: the profile
// changes, the settings file is saved and the pointer settings re-applied) is
// sent back to back over one keep-alive connection to the helper's device
// layer with its settings-file watch, with and without a virtual trackball of
// obxkernd. In the same run, in slices that alternate with the requests' so
// that a change of the machine's load weighs on both alike, the bare durable
// write of the file's bytes (temporary file, fsync, rename, fsync of the
// folder) is timed in a sibling folder, and a GET of the same resource, the
// HTTP exchange that every change costs on top of its save. Each POST
// percentile is printed beside the write's, and their ratio.
//
//   build/bin/bench_helper_command_server [seconds per row] [profile counts...]

#include "actions/PlatformServicesImpl.h"
#include "base/Log.h"
#include "devices/DeviceManager.h"
#include "platform/DurableFile.h"
#include "platform/headless/HeadlessDesktopQueries.h"
#include "platform/headless/HeadlessPlatformServices.h"
#include "platform/linux/base/LinuxWaitPrimitive.h"
#include "platform/linux/devices/LinuxDeviceNotices.h"
#include "platform/linux/devices/LinuxFileChangeWatch.h"
#include "server/CommandServer.h"
#include "settings/Settings.h"
#include "support/DaemonProcess.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace obx {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Millis = std::vector<double>;

constexpr std::uint16_t model = 4097;
// Requests and bare writes alternate in slices of this length.
constexpr std::chrono::milliseconds slice{500};

// Profiles as a user accumulates them: each with a keystroke and a snippet
// of its own beside the plain clicks it started with.
void writeSettings(int profiles) {
    Settings settings;
    settings.ensureDevice(model);
    auto& table = settings.devices.at(model);
    for (int p = 1; p < profiles; ++p) {
        auto& profile = table
                            .try_emplace("/usr/bin/application-" + std::to_string(p), &settings,
                                         "Application " + std::to_string(p), "")
                            .first->second;
        profile.config.setButtonAction(0x20, {{"command", "keystroke"}, {"keyCode", 0x41 + p % 26}});
        profile.config.setSnippet("snippet text " + std::to_string(p), "label", p % 10);
    }
    settings.save();
}

// One keep-alive connection that sends POST /config/pointer and reads the
// answer (whose lines end in a bare line feed).
class Client {
public:
    explicit Client(std::uint16_t port)
        : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
          host_("127.0.0.1:" + std::to_string(port)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int on = 1;
        if (socket_ < 0 || ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
            throw std::runtime_error("cannot connect to the helper");
        }
    }
    ~Client() {
        if (socket_ >= 0) {
            ::close(socket_);
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Throw unless the helper answered 200.
    void post(int speed) {
        const auto body = "{\"speed\":" + std::to_string(speed) + "}";
        exchange("POST " + path_ + " HTTP/1.1\r\nHost: " + host_ +
                 "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                 "\r\n\r\n" + body);
    }
    void get() { exchange("GET " + path_ + " HTTP/1.1\r\nHost: " + host_ + "\r\n\r\n"); }

private:
    void exchange(const std::string& request) {
        if (::send(socket_, request.data(), request.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(request.size())) {
            throw std::runtime_error("the request could not be sent");
        }
        std::size_t headerEnd;
        while ((headerEnd = answer_.find("\n\n")) == std::string::npos) {
            receive();
        }
        const auto length = answer_.find("Content-Length: ");
        if (!answer_.starts_with("HTTP/1.1 200") || length == std::string::npos || length > headerEnd) {
            throw std::runtime_error("the helper refused the request: " + answer_);
        }
        const auto total = headerEnd + 2 + std::stoul(answer_.substr(length + 16));
        while (answer_.size() < total) {
            receive();
        }
        answer_.erase(0, total);
    }

    void receive() {
        std::array<char, 4096> chunk;
        const auto received = ::recv(socket_, chunk.data(), chunk.size(), 0);
        if (received <= 0) {
            throw std::runtime_error("the helper closed the connection");
        }
        answer_.append(chunk.data(), static_cast<std::size_t>(received));
    }

    int socket_;
    std::string host_;
    std::string path_ = "/config/pointer?app=*&device=" + std::to_string(model);
    std::string answer_;
};

// The bare durable replacement of a file, as a save replaces the settings file.
class DurableWrite {
public:
    DurableWrite(const fs::path& folder, std::string content)
        : file_(folder / "ObxSettings.json"), temporary_(folder / "ObxSettings.json.tmp"),
          content_(std::move(content)) {
        fs::create_directories(folder);
    }
    void operator()() const {
        if (writeFileDurably(temporary_, content_) || replaceFileDurably(temporary_, file_)) {
            throw std::runtime_error("the baseline write failed");
        }
    }
    std::size_t size() const { return content_.size(); }

private:
    fs::path file_;
    fs::path temporary_;
    std::string content_;
};

template <typename Step>
void timeSlice(Millis& samples, Step&& step) {
    const auto end = Clock::now() + slice;
    do {
        const auto start = Clock::now();
        step();
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    } while (Clock::now() < end);
}

struct Percentiles {
    double p50;
    double p99;
};

Percentiles percentiles(Millis samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

// The helper's device layer with the settings of the installed platform
// services and its watch, trackballs from the runtime folder given, and the
// command server.
class Helper {
public:
    Helper(const fs::path& runtime, bool trackball) {
        setDeviceLayerPlatformFactory([runtime] {
            return DeviceLayerPlatform{
                std::make_unique<LinuxWaitPrimitive>(), std::make_unique<LinuxDeviceNotices>(runtime),
                std::make_unique<HeadlessDesktopQueries>(),
                [](const fs::path& file) { return std::make_unique<LinuxFileChangeWatch>(file); }};
        });
        DeviceManager::instance().startWorker();
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (trackball && present() == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (present() != (trackball ? 1u : 0u)) {
            throw std::runtime_error("the trackball did not come");
        }
        server_ = std::make_unique<CommandServer>(DeviceManager::instance(), 0);
        server_->start();
        port_ = server_->waitUntilListening();
    }
    ~Helper() {
        server_->stop();
        DeviceManager::destroyDeviceManager();
        setDeviceLayerPlatformFactory({});
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    std::uint16_t port() const { return port_; }

private:
    static std::size_t present() {
        std::lock_guard guard(DeviceManager::instance());
        return DeviceManager::instance().devices().size();
    }

    std::unique_ptr<CommandServer> server_;
    std::uint16_t port_ = 0;
};

void measure(const fs::path& base, int profiles, bool trackball, std::chrono::seconds time) {
    const auto folder = base / "settings";
    fs::remove_all(base);
    fs::create_directories(folder);
    installPlatformServices(std::make_unique<HeadlessPlatformServices>(folder.string()));
    writeSettings(profiles);

    test::DaemonProcess daemon(OBXKERND_PATH);
    auto runtime = base / "no-trackballs";
    if (trackball) {
        if (!daemon.start({"--virtual", "--product-id", std::to_string(model), "--log-level", "warning"})) {
            throw std::runtime_error("obxkernd did not start: " + daemon.errorOutput());
        }
        runtime = daemon.runtimeDir();
    } else {
        fs::create_directories(runtime);
    }
    Helper helper(runtime, trackball);

    std::ostringstream content;
    content << std::ifstream(folder / "ObxSettings.json", std::ios::binary).rdbuf();
    const DurableWrite write(base / "baseline", content.str());
    Client client(helper.port());
    Millis posts;
    Millis gets;
    Millis writes;
    int speed = 0;
    const auto end = Clock::now() + time;
    while (Clock::now() < end || posts.size() < 20) {
        timeSlice(posts, [&] { client.post(++speed % 100); });
        timeSlice(gets, [&] { client.get(); });
        timeSlice(writes, write);
    }
    const auto post = percentiles(posts);
    const auto exchange = percentiles(gets);
    const auto bare = percentiles(writes);
    std::printf("%-9d %-10s %-11zu %-9.2f %-9.2f %-8.2f %-10.2f %-9.2f %-10.2f %-9.2f %zu\n", profiles,
                trackball ? "yes" : "no", write.size(), post.p50, post.p99, exchange.p50, bare.p50, bare.p99,
                post.p50 / bare.p50, post.p99 / bare.p99, posts.size());
    std::fflush(stdout);
}

} // namespace
} // namespace obx

int main(int argc, char** argv) {
    using namespace obx;
    const std::chrono::seconds time(argc > 1 ? std::stoi(argv[1]) : 10);
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) {
        counts.push_back(std::stoi(argv[i]));
    }
    if (counts.empty()) {
        counts = {10, 100, 1000};
    }
    std::ifstream loadFile("/proc/loadavg");
    std::string load;
    std::getline(loadFile, load);
    std::cout << "load average at start: " << load << "; " << time.count() << " s per row\n"
              << "times in ms; ratio = POST / bare durable write of the same bytes; GET: the same\n"
              << "resource read over the same connection, the HTTP exchange without a change\n"
              << "profiles  trackball  file bytes  POST p50  POST p99  GET p50  write p50  write p99  "
                 "ratio p50  ratio p99 requests\n";
    const auto base = fs::temp_directory_path() / ("obx-bench-settings-change-" + std::to_string(::getpid()));
    const auto logFolder = fs::path(base) += "-log";
    try {
        // The helper's log at its default level, beside the rows' folders.
        openLog({logFolder, 2, false});
        for (int profiles : counts) {
            for (bool trackball : {false, true}) {
                measure(base, profiles, trackball, time);
            }
        }
    } catch (const std::exception& error) {
        std::cerr << "bench_helper_command_server: " << error.what() << "\n";
    }
    closeLog();
    fs::remove_all(base);
    fs::remove_all(logFolder);
}
