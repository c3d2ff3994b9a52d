// A started device fed a stream of reports, control requests, reads and timer ticks, all chosen by
// the input.

#include "driver/core/DeviceModels.h"
#include "driver/core/FilterDevice.h"
#include "driver/hid/ReportDescriptorParser.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

using namespace obx::driver;

namespace {

const std::vector<uint8_t> kDescriptor = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x05, 0x09, 0x19, 0x01, 0x29, 0x05, 0x15, 0x00,
    0x25, 0x01, 0x75, 0x01, 0x95, 0x05, 0x81, 0x02, 0x75, 0x03, 0x95, 0x01, 0x81, 0x01,
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08,
    0x95, 0x03, 0x81, 0x06, 0x05, 0x0C, 0x0A, 0x38, 0x02, 0x95, 0x01, 0x81, 0x06, 0xC0};

struct NoLock final : ILock {
    void lock() override {}
    void unlock() override {}
};
struct Clock final : IClock {
    uint64_t uptimeMilliseconds() const override { return 5; }
};
struct Timer final : ITimer {
    bool start(uint32_t) override { return std::exchange(waiting, true); }
    void stop() override { waiting = false; }
    bool waiting = false;
};
struct Sink final : IMouseClassService {
    void serviceCallback(std::span<const MouseInputData> p) override { count += p.size(); }
    size_t count = 0;
};
struct Hid final : IHidDevice {
    ObxStatus collectionInformation(HidCollectionInformation& i) override {
        i = {productId, 1, static_cast<uint32_t>(kDescriptor.size())};
        return OBX_STATUS_SUCCESS;
    }
    ObxStatus collectionDescriptor(std::span<uint8_t> d) override {
        std::copy(kDescriptor.begin(), kDescriptor.end(), d.begin());
        return OBX_STATUS_SUCCESS;
    }
    ObxStatus string(HidString, std::span<uint16_t>) override { return OBX_STATUS_NOT_SUPPORTED; }
    ObxStatus create(FileObject) override { return OBX_STATUS_SUCCESS; }
    ObxStatus openReadTarget(FileObject) override { return OBX_STATUS_SUCCESS; }
    void closeReadTarget() override { pending = nullptr; }
    ObxStatus sendRead(std::span<uint8_t> b, IReadCompletion& c) override {
        buffer = b;
        pending = &c;
        return OBX_STATUS_SUCCESS;
    }
    uint16_t productId = 0;
    std::span<uint8_t> buffer;
    IReadCompletion* pending = nullptr;
};
struct Read final : IPendingRead {
    FileObject file() const override { return this; }
    std::span<uint8_t> buffer() override { return std::span(bytes.data(), size); }
    void complete(ObxStatus, uint32_t info) override {
        if (info > size)
            __builtin_trap();
    }
    std::array<uint8_t, 64> bytes{};
    size_t size = 42;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    NoLock lock;
    Clock clock;
    std::array<Timer, 3> timers;
    Hid hid;
    hid.productId = (data[0] & 1) ? kDeviceModels[0].productId : 0x1234; // both button paths
    Sink sink;
    obx::hid::ReportDescriptorParser parser;
    FilterDevice device({hid,
                         parser,
                         clock,
                         lock,
                         lock,
                         lock,
                         {&timers[0], &timers[1], &timers[2]},
                         {lock, lock, lock, lock}},
                        1);
    if (device.prepareHardware() != OBX_STATUS_SUCCESS)
        __builtin_trap();
    device.connect(sink);
    int classFile = 0;
    device.fileCreate(&classFile, false);
    std::array<Read, 8> reads;
    size_t nextRead = 0;
    std::array<uint8_t, 600> output{};

    size_t pos = 1;
    while (pos + 2 <= size) {
        const uint8_t op = data[pos] % 5;
        const size_t len = std::min<size_t>(data[pos + 1], size - pos - 2);
        const std::span<const uint8_t> arg(data + pos + 2, len);
        pos += 2 + len;
        switch (op) {
        case 0:
            if (hid.pending) {
                const size_t n = std::min(arg.size(), hid.buffer.size());
                std::copy_n(arg.begin(), n, hid.buffer.begin());
                IReadCompletion* c = std::exchange(hid.pending, nullptr);
                c->readCompleted(OBX_STATUS_SUCCESS, static_cast<uint32_t>(n));
            }
            break;
        case 1: {
            const uint32_t code = arg.empty() ? 0 : OBX_CONTROL_CODE(0x800 + arg[0] % 20);
            const size_t outSize = arg.size() > 1 ? arg[1] * 3 % output.size() : 0;
            device.controlDevice().deviceControl(&reads[0], code, arg.size() > 2 ? arg.subspan(2) : arg,
                                                 std::span(output.data(), outSize));
            break;
        }
        case 2:
            if (nextRead < reads.size()) {
                reads[nextRead].size = arg.empty() ? 42 : arg[0] % 64;
                device.controlDevice().read(reads[nextRead++]);
            }
            break;
        case 3:
            device.timerFired(arg.empty() ? 0 : arg[0] % 5);
            break;
        case 4:
            if (!arg.empty() && arg[0] == 0xAA)
                device.queryRemove();
            device.controlDevice().fileClose(&reads[arg.empty() ? 0 : arg[0] % reads.size()]);
            break;
        }
    }
    device.controlDevice().purgeReads();
    return 0;
}
