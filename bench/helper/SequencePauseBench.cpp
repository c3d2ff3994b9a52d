// How exactly a sequence's pause ends: a virtual trackball of obxkernd
// presses a button whose sequence is a key, a pause and a key; the time
// between the two keys as the platform services are asked for them, less
// the pause, is the pause's error. Beside it, nanosleep's error for the same
// pause on the same machine. Prints p50 and p99 of each, in microseconds.
//
//   bench_helper_sequence_pause [samples] [pause ms]   (default 200 and 20)

#include "devices/DeviceManager.h"
#include "platform/linux/base/LinuxWaitPrimitive.h"
#include "platform/linux/devices/LinuxDeviceNotices.h"
#include "support/DaemonProcess.h"
#include "support/FakeDesktopQueries.h"
#include "support/RecordingPlatformServices.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

namespace obx {
namespace {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

// Records when each key press is asked for.
class TimingServices final : public test::RecordingPlatformServices {
public:
    void sendKeystroke(std::uint16_t, std::uint16_t, bool down, bool) override {
        if (down) {
            std::lock_guard guard(mutex_);
            presses_.push_back(Clock::now());
            changed_.notify_all();
        }
    }
    // The time between the next two presses; false when they did not come.
    bool waitForPair(Clock::duration& between) {
        std::unique_lock guard(mutex_);
        const bool came =
            changed_.wait_for(guard, std::chrono::seconds(10), [&] { return presses_.size() >= 2; });
        if (came) {
            between = presses_[1] - presses_[0];
        }
        presses_.clear();
        return came;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Clock::time_point> presses_;
};

struct Percentiles {
    double p50;
    double p99;
};

Percentiles percentiles(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const auto at = [&](double share) {
        return values[std::min(values.size() - 1,
                               static_cast<std::size_t>(share * static_cast<double>(values.size())))];
    };
    return {at(0.50), at(0.99)};
}

std::vector<double> nanosleepErrors(int samples, std::chrono::milliseconds pause) {
    std::vector<double> errors;
    const timespec wanted{0, static_cast<long>(std::chrono::nanoseconds(pause).count())};
    for (int i = 0; i < samples; ++i) {
        const auto start = Clock::now();
        nanosleep(&wanted, nullptr);
        errors.push_back(Micros(Clock::now() - start - pause).count());
    }
    return errors;
}

int run(int samples, std::chrono::milliseconds pause) {
    test::TempFolder settings;
    auto& services =
        static_cast<TimingServices&>(installPlatformServices(std::make_unique<TimingServices>()));
    services.folder = settings.path().string();
    auto desktop = std::make_shared<test::DesktopState>();
    test::DaemonProcess daemon{OBXKERND_PATH};
    setDeviceLayerPlatformFactory([&] {
        return DeviceLayerPlatform{std::make_unique<LinuxWaitPrimitive>(),
                                   std::make_unique<LinuxDeviceNotices>(daemon.runtimeDir()),
                                   std::make_unique<test::FakeDesktopQueries>(desktop),
                                   {}};
    });
    auto& manager = DeviceManager::instance();
    manager.startWorker();
    if (!daemon.start({"--virtual", "--product-id", "0x0101"})) {
        std::fprintf(stderr, "obxkernd did not start\n");
        return 1;
    }
    for (int tries = 0;; ++tries) {
        {
            std::lock_guard guard(manager);
            if (manager.devices().size() == 1) {
                break;
            }
        }
        if (tries == 1000) {
            std::fprintf(stderr, "the virtual trackball did not arrive\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    manager.setButtonAction(std::nullopt, 0x0101, 0x4,
                            {{"command", "sequence"},
                             {"steps",
                              {{{"type", "keystroke"}, {"keyCode", 0x41}},
                               {{"type", "pause"}, {"ms", pause.count()}},
                               {{"type", "keystroke"}, {"keyCode", 0x42}}}}});
    test::VirtualPeer peer(daemon.runtimeDir(), 1);
    std::vector<double> errors;
    for (int i = 0; i < samples; ++i) {
        Clock::duration between{};
        if (!peer.send(0x4) || !peer.send(0) || !services.waitForPair(between)) {
            std::fprintf(stderr, "sample %d: the sequence did not play\n", i);
            return 1;
        }
        errors.push_back(Micros(between - pause).count());
    }
    DeviceManager::destroyDeviceManager();
    setDeviceLayerPlatformFactory({});
    destroyPlatformServices();

    const auto sequence = percentiles(errors);
    const auto sleeping = percentiles(nanosleepErrors(samples, pause));
    std::printf("pause %lld ms, %d samples; error past the pause in microseconds\n",
                static_cast<long long>(pause.count()), samples);
    std::printf("%-34s %10s %10s\n", "", "p50", "p99");
    std::printf("%-34s %10.0f %10.0f\n", "sequence pause (worker's timer)", sequence.p50, sequence.p99);
    std::printf("%-34s %10.0f %10.0f\n", "nanosleep", sleeping.p50, sleeping.p99);
    return 0;
}

} // namespace
} // namespace obx

int main(int argc, char** argv) {
    const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const int pause = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 5000) : 20;
    return obx::run(samples, std::chrono::milliseconds(pause));
}
