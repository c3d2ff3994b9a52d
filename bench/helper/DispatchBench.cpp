// Cost of one button event through dispatch, and of the settings JSON round
// trip, against the recording platform fake (its own cost is included).

#include "settings/Settings.h"
#include "support/FakeDevice.h"
#include "support/RecordingPlatformServices.h"

#include <benchmark/benchmark.h>

namespace obx {
namespace {

using nlohmann::json;

void dispatchPressAndRelease(benchmark::State& state, const json& action) {
    test::ScopedRecordingPlatform platform;
    test::FakeDevice device;
    DeviceConfig config(nullptr);
    config.setButtonAction(0x8, action);
    std::size_t events = 0;
    for (auto _ : state) {
        config.dispatchButtonEvent(device, 0x8, 0);
        config.dispatchButtonEvent(device, 0, 0x8);
        if (++events % 4096 == 0) {
            state.PauseTiming();
            platform->clear();
            state.ResumeTiming();
        }
    }
}

void BM_DispatchKeystroke(benchmark::State& state) {
    dispatchPressAndRelease(state, {{"command", "keystroke"}, {"keyCode", 0x43}, {"modifiers", "ctrl"}});
}
BENCHMARK(BM_DispatchKeystroke);

void BM_DispatchSingleClickWithModifiers(benchmark::State& state) {
    dispatchPressAndRelease(state,
                            {{"command", "mouse_leftClick"}, {"params", {{"modifiers", "ctrl,shift"}}}});
}
BENCHMARK(BM_DispatchSingleClickWithModifiers);

Settings manyProfiles(int devices, int profilesPerDevice) {
    Settings settings;
    for (int d = 0; d < devices; ++d) {
        auto& profiles = settings.devices[static_cast<std::uint16_t>(0x1000 + d)];
        for (int p = 0; p < profilesPerDevice; ++p) {
            const auto identifier =
                p == 0 ? std::string(globalProfileId) : "/usr/bin/application-" + std::to_string(p);
            auto& profile = profiles.try_emplace(identifier, &settings, identifier, "").first->second;
            profile.config.setButtonAction(0x6, {{"command", "keystroke"}, {"keyCode", 0x41 + p % 26}});
            profile.config.setSnippet("snippet text " + std::to_string(p), "label", p % 10);
        }
    }
    return settings;
}

void BM_SettingsRoundTrip(benchmark::State& state) {
    test::ScopedRecordingPlatform platform;
    const auto settings = manyProfiles(10, 100);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto text = settings.toJson().dump(2);
        Settings reread;
        reread.fromJson(json::parse(text));
        bytes = text.size();
        benchmark::DoNotOptimize(reread);
        platform->clear();
    }
    state.counters["fileBytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SettingsRoundTrip)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace obx

BENCHMARK_MAIN();
