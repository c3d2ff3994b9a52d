#include "VirtualTrackball.h"

#include "../RuntimeNames.h"
#include "../Utf16.h"
#include "VirtualHidSource.h"
#include "VirtualMouseSink.h"
#include "driver/hid/ReportDescriptorParser.h"

#include <array>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace obx::kernd {

namespace {

constexpr uint8_t kBuiltInDescriptor[] = {
    0x05, 0x01,       // Usage Page (Generic Desktop)
    0x09, 0x02,       // Usage (Mouse)
    0xA1, 0x01,       // Collection (Application)
    0x09, 0x01,       //   Usage (Pointer)
    0xA1, 0x00,       //   Collection (Physical)
    0x05, 0x09,       //     Usage Page (Button)
    0x19, 0x01,       //     Usage Minimum (1)
    0x29, 0x08,       //     Usage Maximum (8)
    0x15, 0x00,       //     Logical Minimum (0)
    0x25, 0x01,       //     Logical Maximum (1)
    0x75, 0x01,       //     Report Size (1)
    0x95, 0x08,       //     Report Count (8)
    0x81, 0x02,       //     Input (Data, Variable, Absolute)
    0x05, 0x01,       //     Usage Page (Generic Desktop)
    0x09, 0x30,       //     Usage (X)
    0x09, 0x31,       //     Usage (Y)
    0x09, 0x38,       //     Usage (Wheel)
    0x15, 0x80,       //     Logical Minimum (-128)
    0x25, 0x7F,       //     Logical Maximum (127)
    0x75, 0x08,       //     Report Size (8)
    0x95, 0x03,       //     Report Count (3)
    0x81, 0x06,       //     Input (Data, Variable, Relative)
    0x05, 0x0C,       //     Usage Page (Consumer)
    0x0A, 0x38, 0x02, //     Usage (AC Pan)
    0x95, 0x01,       //     Report Count (1)
    0x81, 0x06,       //     Input (Data, Variable, Relative)
    0xC0,             //   End Collection
    0xC0,             // End Collection
};

} // namespace

std::span<const uint8_t> builtInDescriptor() {
    return kBuiltInDescriptor;
}

std::vector<uint8_t> loadDescriptor(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error(file.string() + ": cannot be read");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error(file.string() + ": cannot be read");
    if (bytes.empty() || bytes.size() > hid::ReportDescriptorParser::kMaxDescriptorBytes)
        throw std::runtime_error(file.string() + ": a report descriptor has 1 to " +
                                 std::to_string(hid::ReportDescriptorParser::kMaxDescriptorBytes) + " bytes");
    return bytes;
}

std::unique_ptr<Trackball> makeVirtualTrackball(EventLoop& loop, uint32_t instance,
                                                const VirtualTrackballOptions& options,
                                                const std::filesystem::path& runtimeDir,
                                                SocketAccess& access) {
    HidIdentity identity;
    identity.productId = options.productId;
    identity.versionNumber = options.version;
    if (options.descriptor)
        identity.descriptor = loadDescriptor(*options.descriptor);
    else
        identity.descriptor.assign(std::begin(kBuiltInDescriptor), std::end(kBuiltInDescriptor));
    identity.product = utf16FromUtf8(options.product);
    identity.serialNumber = utf16FromUtf8(options.serial.value_or(instanceName("VIRTUAL", instance)));
    auto source = std::make_unique<VirtualHidSource>(loop, runtimeDir / virtualInputName(instance),
                                                     std::move(identity));
    auto sink = std::make_unique<VirtualMouseSink>(loop, runtimeDir / virtualOutputName(instance));
    return std::make_unique<Trackball>(loop, instance, std::move(source), std::move(sink), runtimeDir,
                                       access);
}

} // namespace obx::kernd
