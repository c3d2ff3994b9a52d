// Cost of a changing configuration operation, which writes the whole
// settings file durably, as the number of profiles grows.

#include "devices/DeviceManagerBase.h"
#include "settings/Settings.h"
#include "support/RecordingPlatformServices.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

namespace obx {
namespace {

constexpr std::uint16_t model = 4097;

std::unique_ptr<Settings> settingsWithProfiles(int count) {
    auto settings = std::make_unique<Settings>();
    settings->ensureDevice(model);
    auto& profiles = settings->devices.at(model);
    for (int p = 1; p < count; ++p) {
        const auto identifier = "/usr/bin/application-" + std::to_string(p);
        auto& profile =
            profiles.try_emplace(identifier, settings.get(), "Application " + std::to_string(p), "")
                .first->second;
        profile.config.setButtonAction(0x6, {{"command", "keystroke"}, {"keyCode", 0x41 + p % 26}});
        profile.config.setSnippet("snippet text " + std::to_string(p), "label", p % 10);
    }
    return settings;
}

void BM_SetPointerConfigWithSave(benchmark::State& state) {
    test::TempFolder folder;
    test::ScopedRecordingPlatform platform;
    platform->folder = folder.path().string();
    DeviceManagerBase manager;
    manager.useSettings(settingsWithProfiles(static_cast<int>(state.range(0))));
    int speed = 0;
    for (auto _ : state) {
        manager.setPointerConfig(std::nullopt, model, {{"speed", speed++ % 100}});
        if (speed % 256 == 0) {
            state.PauseTiming();
            platform->clear();
            state.ResumeTiming();
        }
    }
    state.counters["fileBytes"] =
        static_cast<double>(std::filesystem::file_size(folder / "ObxSettings.json"));
}
BENCHMARK(BM_SetPointerConfigWithSave)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace obx

BENCHMARK_MAIN();
