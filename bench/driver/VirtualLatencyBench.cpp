// obxkernd end to end: a report written to virtual-01.in until its packet is read from virtual-01.out.
// Latency one report at a time (p50, p99), and throughput with up to 32 reports in flight.

#include "support/DaemonProcess.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using namespace obx::test;
using Clock = std::chrono::steady_clock;

constexpr int kReports = 20000;
constexpr int kWindow = 32;

struct Served {
    Served() {
        if (!daemon.start({"--virtual", "--log-level", "warning"}))
            throw std::runtime_error("obxkernd did not start: " + daemon.errorOutput());
        peer = std::make_unique<VirtualPeer>(daemon.runtimeDir(), 1);
    }
    DaemonProcess daemon{OBXKERND_PATH};
    std::unique_ptr<VirtualPeer> peer;
};

Served& served() {
    static Served instance;
    return instance;
}

// Alternating moves, so that the pointer stays where it is.
bool sendMove(VirtualPeer& peer, int64_t i) {
    return peer.send(0, i % 2 == 0 ? 1 : -1);
}

void BM_ReportToPacketLatency(benchmark::State& state) {
    VirtualPeer& peer = *served().peer;
    std::vector<double> micros;
    micros.reserve(kReports);
    int64_t i = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!sendMove(peer, i++) || !peer.nextPacket()) {
            state.SkipWithError("a packet did not come");
            return;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
    state.SetItemsProcessed(state.iterations());
}

void BM_ReportThroughput(benchmark::State& state) {
    VirtualPeer& peer = *served().peer;
    int64_t sent = 0;
    int64_t received = 0;
    for (auto _ : state) {
        while (sent - received < kWindow) {
            if (!sendMove(peer, sent++)) {
                state.SkipWithError("the report socket refused a report");
                return;
            }
        }
        if (!peer.nextPacket()) {
            state.SkipWithError("a packet did not come");
            return;
        }
        ++received;
    }
    while (received < sent && peer.nextPacket())
        ++received;
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ReportToPacketLatency)->Iterations(kReports)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReportThroughput)->Iterations(kReports)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace
