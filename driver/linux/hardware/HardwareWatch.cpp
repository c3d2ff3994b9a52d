#include "HardwareWatch.h"

#include "../Log.h"
#include "HidrawSource.h"
#include "PointingSummary.h"
#include "UinputMouseSink.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace obx::kernd {

namespace {

// The vendor and product of a HID_ID ("BUS:VENDOR:PRODUCT"); false when it names none.
bool idsOf(const std::string& hidId, unsigned& bus, unsigned& vendor, unsigned& product) {
    return std::sscanf(hidId.c_str(), "%x:%x:%x", &bus, &vendor, &product) == 3 && vendor <= 0xFFFF &&
           product <= 0xFFFF;
}

} // namespace

struct HardwareWatch::Attached {
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string serial;
    std::string syspath;    // of the hidraw device
    std::string hidSyspath; // of the HID device above it, whose evdev nodes are grabbed
    EvdevGrabs grabs;
    explicit Attached(Hardware& hardware)
        : grabs([&hardware](const std::string& node) { return hardware.grab(node); }) {}
    std::unique_ptr<Trackball> trackball; // declared last: it goes before the grabs are released
};

HardwareWatch::HardwareWatch(EventLoop& loop, driver::InstanceCounter& instances, SocketAccess& access,
                             IUnservedDevices& unserved, HardwareSettings settings,
                             std::unique_ptr<Hardware> hardware)
    : loop_(loop), instances_(instances), access_(access), unserved_(unserved),
      settings_(std::move(settings)), chosen_(settings_.stateDir), hardware_(std::move(hardware)) {
    hardware_->watch(loop_, *this);
    arriveAll();
    if (attached_.empty())
        sayWaiting();
}

HardwareWatch::~HardwareWatch() {
    attached_.clear();
}

void HardwareWatch::arriveAll() {
    for (const HidrawDevice& hidraw : hardware_->present())
        arrived(hidraw);
}

void HardwareWatch::sayWaiting() const {
    logf(LogLevel::info, "no trackball attached; waiting for one to be plugged in");
}

bool HardwareWatch::wanted(const HidrawDevice& hidraw) const {
    if (!settings_.devnodes.empty())
        return std::find(settings_.devnodes.begin(), settings_.devnodes.end(), hidraw.devnode) !=
               settings_.devnodes.end();
    unsigned bus = 0, vendor = 0, product = 0;
    if (hidraw.hidSyspath.empty() || !idsOf(hidraw.hidId, bus, vendor, product))
        return false;
    return settings_.table.matches(static_cast<uint16_t>(vendor), static_cast<uint16_t>(product)) ||
           chosen_.contains(static_cast<uint16_t>(vendor), static_cast<uint16_t>(product), hidraw.serial);
}

void HardwareWatch::arrived(const HidrawDevice& hidraw) {
    if (hidraw.devnode.empty())
        return;
    if (!wanted(hidraw)) {
        noteUnserved(hidraw);
        return;
    }
    if (std::any_of(attached_.begin(), attached_.end(),
                    [&](const auto& a) { return a->syspath == hidraw.syspath; }))
        return;
    unserved_.gone(hidraw.syspath);
    try {
        attach(hidraw);
    } catch (const std::exception& e) {
        logf(LogLevel::error, "%s: not attached: %s", hidraw.devnode.c_str(), e.what());
    }
}

void HardwareWatch::noteUnserved(const HidrawDevice& hidraw) {
    if (hidraw.hidSyspath.empty())
        return;
    // The kernel's copy of the report descriptor, at most the largest one it takes.
    constexpr size_t kMaxDescriptorBytes = 4096;
    UnservedDevice device;
    device.summary = PointingSummary::of(hardware_->reportDescriptor(hidraw, kMaxDescriptorBytes));
    unsigned bus = 0, vendor = 0, product = 0;
    if (!device.summary.pointing || !idsOf(hidraw.hidId, bus, vendor, product))
        return;
    device.syspath = hidraw.syspath;
    device.bus = static_cast<uint16_t>(bus);
    device.vendor = static_cast<uint16_t>(vendor);
    device.product = static_cast<uint16_t>(product);
    device.serial = hidraw.serial;
    device.name = hidraw.name;
    logf(LogLevel::info, "%s: pointing device %04x:%04x \"%s\" not served (not listed): %s",
         hidraw.devnode.c_str(), device.vendor, device.product, device.name.c_str(),
         device.summary.describe().c_str());
    unserved_.present(device);
}

void HardwareWatch::attach(const HidrawDevice& hidraw) {
    auto entry = std::make_unique<Attached>(*hardware_);
    entry->syspath = hidraw.syspath;
    if (hidraw.hidSyspath.empty())
        throw std::runtime_error("no HID device above it");
    entry->hidSyspath = hidraw.hidSyspath;

    const HidInputs inputs = hardware_->inputsOf(hidraw.hidSyspath);
    for (const std::string& node : inputs.eventNodes)
        entry->grabs.grab(node);
    std::unique_ptr<HidrawSource> source = hardware_->open(loop_, hidraw, inputs.version);
    // Refused before its mouse is made, so that no mouse comes and goes for a device that cannot start.
    if (const PointingSummary summary = PointingSummary::of(source->identity().descriptor);
        !summary.unservable.empty())
        throw std::runtime_error(summary.unservable);
    const uint16_t productId = source->identity().productId;
    entry->vendor = source->vendorId();
    entry->product = productId;
    entry->serial = hidraw.serial;
    UinputIdentity mouse{source->productName().empty() ? "Trackball" : source->productName(),
                         source->vendorId(), productId, inputs.version};
    std::string mouseNode;
    auto sink = hardware_->mouse(loop_, hidraw, mouse, mouseNode);
    const std::string devnode = source->devnode();
    entry->trackball = std::make_unique<Trackball>(loop_, instances_.next(), std::move(source),
                                                   std::move(sink), settings_.runtimeDir, access_);
    logf(LogLevel::info, "%s attached: \"%s\" %04x:%04x, %zu evdev node(s) grabbed, mouse %s",
         devnode.c_str(), mouse.name.c_str(), mouse.vendor, mouse.product, entry->grabs.count(),
         mouseNode.c_str());
    attached_.push_back(std::move(entry));
}

std::string HardwareWatch::take(uint16_t vendor, uint16_t product, const std::string& serial) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", vendor, product);
    if (settings_.table.matches(vendor, product))
        return std::string("error: ") + ids + " is served already: devices.conf lists it";
    try {
        chosen_.take(vendor, product, serial);
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
    logf(LogLevel::info, "%s chosen: served from now on", ids);
    arriveAll();
    return "ok";
}

std::string HardwareWatch::release(uint16_t vendor, uint16_t product, const std::string& serial) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", vendor, product);
    if (settings_.table.matches(vendor, product))
        return std::string("error: ") + ids + " cannot be let go: devices.conf lists it";
    try {
        chosen_.release(vendor, product, serial);
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
    logf(LogLevel::info, "%s let go: the kernel's own input again", ids);
    std::vector<std::string> released;
    // Those that no choice covers any more: another may still name them (their ids alone, or their
    // serial).
    for (const auto& entry : attached_) {
        if (entry->vendor == vendor && entry->product == product &&
            !chosen_.contains(vendor, product, entry->serial))
            released.push_back(entry->syspath);
    }
    for (const std::string& syspath : released) {
        departed(syspath);
        if (const auto hidraw = hardware_->find(syspath))
            noteUnserved(*hidraw);
    }
    return "ok";
}

void HardwareWatch::departed(const std::string& syspath) {
    unserved_.gone(syspath);
    const auto found = std::find_if(attached_.begin(), attached_.end(),
                                    [&](const auto& a) { return a->syspath == syspath; });
    if (found == attached_.end())
        return;
    attached_.erase(found);
    logf(LogLevel::info, "%s removed", syspath.c_str());
    if (attached_.empty())
        sayWaiting();
}

void HardwareWatch::inputArrived(const std::string& hidSyspath, const std::string& eventNode) {
    for (const auto& entry : attached_) {
        if (entry->hidSyspath == hidSyspath)
            entry->grabs.grab(eventNode);
    }
}

} // namespace obx::kernd
