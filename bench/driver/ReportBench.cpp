// Nanoseconds per input report: the HID parser's reads plus the button processor, with an output that
// only counts what it is given.

#include "driver/core/ButtonProcessor.h"
#include "driver/core/ReportProcessor.h"
#include "driver/hid/ReportDescriptorParser.h"

#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <vector>

namespace {

using namespace obx::driver;

// Five buttons, X, Y, wheel and AC Pan, 8 bits each, no report ids.
const std::vector<uint8_t> kDescriptor = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x05, 0x09, 0x19, 0x01, 0x29, 0x05, 0x15, 0x00,
    0x25, 0x01, 0x75, 0x01, 0x95, 0x05, 0x81, 0x02, 0x75, 0x03, 0x95, 0x01, 0x81, 0x01,
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08,
    0x95, 0x03, 0x81, 0x06, 0x05, 0x0C, 0x0A, 0x38, 0x02, 0x95, 0x01, 0x81, 0x06, 0xC0};

class CountingOutput final : public IButtonOutput {
public:
    void sendButtons(uint32_t down, uint32_t up) override { sum += down + up; }
    void sendMovement(int32_t dx, int32_t dy) override { sum += static_cast<uint32_t>(dx + dy); }
    void sendWheel(uint32_t axis, int32_t amount) override { sum += axis + static_cast<uint32_t>(amount); }
    void reportToHelper(uint32_t p, uint32_t r) override { sum += p + r; }
    void reportGesture(uint32_t buttons, uint8_t direction, uint8_t steps) override {
        sum += buttons + direction + steps;
    }
    bool startTimer(uint32_t, uint32_t) override { return false; }
    void stopTimer(uint32_t) override {}
    void traceTransition(const char*, const char*, const char*, const char*) override {}
    uint64_t sum = 0;
};

void runReports(benchmark::State& state, std::vector<std::array<uint8_t, 6>> reports) {
    obx::hid::ReportDescriptorParser hid;
    const auto storage = hid.descriptorStorage(static_cast<uint32_t>(kDescriptor.size()));
    std::copy(kDescriptor.begin(), kDescriptor.end(), storage.begin());
    obx::hid::HidCaps caps;
    if (hid.load(caps) != obx::hid::HidStatus::Success) {
        state.SkipWithError("descriptor rejected");
        return;
    }
    CountingOutput out;
    ButtonProcessor processor(out);
    ReportProcessor reportProcessor(hid, processor);
    reportProcessor.start(0x1234, hid.maxUsageListLength(obx::hid::kPageButton));
    size_t i = 0;
    std::array<uint8_t, 6> buffer{};
    for (auto _ : state) {
        buffer = reports[i];
        reportProcessor.process(buffer);
        i = (i + 1) % reports.size();
    }
    benchmark::DoNotOptimize(out.sum);
}

void BM_MovementReport(benchmark::State& state) {
    runReports(state, {{0x00, 0x00, 0x05, 0xFB, 0x00, 0x00}, {0x00, 0x00, 0x03, 0x02, 0x00, 0x00}});
}
void BM_WheelReport(benchmark::State& state) {
    runReports(state, {{0x00, 0x00, 0x00, 0x00, 0x01, 0x00}, {0x00, 0x00, 0x00, 0x00, 0xFF, 0x00}});
}
void BM_ButtonReport(benchmark::State& state) {
    runReports(state, {{0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00}});
}

BENCHMARK(BM_MovementReport);
BENCHMARK(BM_WheelReport);
BENCHMARK(BM_ButtonReport);

} // namespace
