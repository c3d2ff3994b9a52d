#include "GuestLoad.h"

#include "virtual/VirtualTrackball.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace obx::guest {

namespace {

constexpr int kReports = 2000;
constexpr int64_t kPeriodMicros = 1000;
constexpr int kHogs = 2;
constexpr const char* kServedName = "Guest Load Served";
constexpr const char* kOwnName = "Guest Load Kernel";

struct Path {
    std::vector<int64_t> sent;
    std::vector<int64_t> seen; // the time stamps of the REL_X events, in order
};

void sleepUntil(int64_t micros) {
    const timespec at{static_cast<time_t>(micros / 1000000), static_cast<long>(micros % 1000000) * 1000};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

std::vector<pid_t> startHogs() {
    std::vector<pid_t> hogs;
    for (int i = 0; i < kHogs; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Spins until killed; the asm keeps the loop from being taken for one without effect.
            for (;;)
                asm volatile("" ::: "memory");
        }
        if (pid > 0)
            hogs.push_back(pid);
    }
    return hogs;
}

void stopHogs(const std::vector<pid_t>& hogs) {
    for (pid_t pid : hogs) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

// Reads both nodes until `done`, at a real-time priority, so that the reader is never what falls behind.
void readMoves(EvdevReader& served, EvdevReader& own, Path& servedPath, Path& ownPath,
               const std::atomic<bool>& done) {
    sched_param param{};
    param.sched_priority = 50;
    ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param);
    while (!done) {
        for (auto [reader, path] : {std::pair{&served, &servedPath}, std::pair{&own, &ownPath}}) {
            for (const input_event& e : reader->available()) {
                if (e.type == EV_REL && e.code == REL_X)
                    path->seen.push_back(eventMicros(e));
            }
        }
        std::this_thread::sleep_for(200us);
    }
}

std::string summary(const Path& path) {
    std::vector<int64_t> late;
    for (size_t i = 0; i < std::min(path.sent.size(), path.seen.size()); ++i)
        late.push_back(path.seen[i] - path.sent[i]);
    std::sort(late.begin(), late.end());
    const auto at = [&](size_t permille) { return late.empty() ? -1 : late[late.size() * permille / 1000]; };
    char text[160];
    std::snprintf(text, sizeof text, "p50_us=%lld p99_us=%lld max_us=%lld lost=%zu",
                  static_cast<long long>(at(500)), static_cast<long long>(at(990)),
                  static_cast<long long>(late.empty() ? -1 : late.back()), path.sent.size() - late.size());
    return text;
}

void runOnce(Uhid& served, Uhid& own, EvdevReader& servedReader, EvdevReader& ownReader, pid_t daemon,
             int nice) {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(daemon), nice);
    Path servedPath, ownPath;
    std::atomic<bool> done{false};
    std::thread reader([&] { readMoves(servedReader, ownReader, servedPath, ownPath, done); });
    const std::vector<pid_t> hogs = startHogs();
    const int64_t start = monotonicMicros() + 100000;
    for (int i = 0; i < kReports; ++i) {
        sleepUntil(start + i * kPeriodMicros);
        // Alternate, so that the pointer stays where it is.
        const uint8_t report[5] = {0, uint8_t(i % 2 == 0 ? 1 : -1), 0, 0, 0};
        servedPath.sent.push_back(monotonicMicros());
        served.report(report);
        ownPath.sent.push_back(monotonicMicros());
        own.report(report);
    }
    std::this_thread::sleep_for(1s);
    stopHogs(hogs);
    done = true;
    reader.join();
    std::printf("obx-guest: figure load nice=%d reports=%d hogs=%d obxkernd %s | kernel %s\n", nice, kReports,
                kHogs, summary(servedPath).c_str(), summary(ownPath).c_str());
    std::fflush(stdout);
}

} // namespace

void runLoadBenchmark(uint16_t vendor, uint16_t servedProduct, uint16_t ownProduct, pid_t daemon) {
    Uhid served, own;
    check(served.create(kServedName, vendor, servedProduct, obx::kernd::builtInDescriptor()) &&
              own.create(kOwnName, vendor, ownProduct, obx::kernd::builtInDescriptor()),
          "the load's two trackballs are created");
    std::optional<std::string> servedNode, ownNode;
    check(waitUntil([&] { return (servedNode = eventNodeNamed(kServedName, true)).has_value(); }),
          "obxkernd serves the load's trackball");
    check(waitUntil([&] { return (ownNode = eventNodeNamed(kOwnName, false)).has_value(); }),
          "the kernel serves its twin");
    if (!servedNode || !ownNode)
        return;
    EvdevReader servedReader(*servedNode), ownReader(*ownNode);
    for (int nice : {0, -10})
        runOnce(served, own, servedReader, ownReader, daemon, nice);
    served.destroy();
    own.destroy();
}

} // namespace obx::guest
