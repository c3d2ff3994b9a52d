#include "HardwareWatch.h"

#include "../Log.h"
#include "HidrawSource.h"
#include "PointingSummary.h"
#include "UinputMouseSink.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <libudev.h>
#include <stdexcept>
#include <sys/epoll.h>

namespace obx::kernd {

namespace {

// Monitor messages taken per readiness report.
constexpr int kEventsPerRound = 16;

struct DeviceUnref {
    void operator()(udev_device* device) const { udev_device_unref(device); }
};
using DevicePtr = std::unique_ptr<udev_device, DeviceUnref>;

struct EnumerateUnref {
    void operator()(udev_enumerate* enumerate) const { udev_enumerate_unref(enumerate); }
};
using EnumeratePtr = std::unique_ptr<udev_enumerate, EnumerateUnref>;

std::string textOr(const char* text, const char* otherwise = "") {
    return text != nullptr ? text : otherwise;
}

// The HID device above a hidraw or input node; not owned (it lives as long as the child).
udev_device* hidParent(udev_device* device) {
    return udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
}

// Calls `visit` with every device of `subsystem` below `parent`.
template <typename Visit>
void forEachChild(udev* context, udev_device* parent, const char* subsystem, Visit visit) {
    EnumeratePtr enumerate(udev_enumerate_new(context));
    if (!enumerate)
        return;
    udev_enumerate_add_match_subsystem(enumerate.get(), subsystem);
    if (parent != nullptr)
        udev_enumerate_add_match_parent(enumerate.get(), parent);
    udev_enumerate_scan_devices(enumerate.get());
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        DevicePtr child(udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
        if (child)
            visit(child.get());
    }
}

bool isEventNode(udev_device* input) {
    return textOr(udev_device_get_sysname(input)).starts_with("event") &&
           udev_device_get_devnode(input) != nullptr;
}

} // namespace

struct HardwareWatch::Attached {
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string serial;
    std::string syspath;    // of the hidraw device
    std::string hidSyspath; // of the HID device above it, whose evdev nodes are grabbed
    EvdevGrabs grabs;
    std::unique_ptr<Trackball> trackball; // declared last: it goes before the grabs are released
};

HardwareWatch::HardwareWatch(EventLoop& loop, driver::InstanceCounter& instances, SocketAccess& access,
                             IUnservedDevices& unserved, HardwareSettings settings)
    : loop_(loop), instances_(instances), access_(access), unserved_(unserved),
      settings_(std::move(settings)), chosen_(settings_.stateDir), udev_(udev_new()) {
    if (udev_ == nullptr)
        throw std::runtime_error("udev cannot be used");
    // Without udevd (a bare system, a container) the kernel's own notices tell the same arrivals.
    udev_queue* queue = udev_queue_new(udev_);
    const bool udevd = queue != nullptr && udev_queue_get_udev_is_active(queue) != 0;
    udev_queue_unref(queue);
    monitor_ = udev_monitor_new_from_netlink(udev_, udevd ? "udev" : "kernel");
    if (monitor_ == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, "input", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
        throw std::runtime_error("the udev monitor cannot be started");
    }
    loop_.add(udev_monitor_get_fd(monitor_), EPOLLIN, *this);
    logf(LogLevel::debug, "following %s device notices", udevd ? "udev" : "kernel");
    forEachChild(udev_, nullptr, "hidraw", [&](udev_device* hidraw) { arrived(hidraw); });
    if (attached_.empty())
        sayWaiting();
}

HardwareWatch::~HardwareWatch() {
    attached_.clear();
    loop_.remove(udev_monitor_get_fd(monitor_));
    udev_monitor_unref(monitor_);
    udev_unref(udev_);
}

void HardwareWatch::sayWaiting() const {
    logf(LogLevel::info, "no trackball attached; waiting for one to be plugged in");
}

bool HardwareWatch::wanted(udev_device* hidraw) const {
    const std::string devnode = textOr(udev_device_get_devnode(hidraw));
    if (!settings_.devnodes.empty())
        return std::find(settings_.devnodes.begin(), settings_.devnodes.end(), devnode) !=
               settings_.devnodes.end();
    udev_device* hid = hidParent(hidraw);
    unsigned bus = 0, vendor = 0, product = 0;
    if (hid == nullptr || std::sscanf(textOr(udev_device_get_property_value(hid, "HID_ID")).c_str(),
                                      "%x:%x:%x", &bus, &vendor, &product) != 3)
        return false;
    return vendor <= 0xFFFF && product <= 0xFFFF &&
           (settings_.table.matches(static_cast<uint16_t>(vendor), static_cast<uint16_t>(product)) ||
            chosen_.contains(static_cast<uint16_t>(vendor), static_cast<uint16_t>(product),
                             textOr(udev_device_get_property_value(hid, "HID_UNIQ"))));
}

void HardwareWatch::arrived(udev_device* hidraw) {
    const std::string syspath = textOr(udev_device_get_syspath(hidraw));
    if (udev_device_get_devnode(hidraw) == nullptr)
        return;
    if (!wanted(hidraw)) {
        noteUnserved(hidraw);
        return;
    }
    if (std::any_of(attached_.begin(), attached_.end(), [&](const auto& a) { return a->syspath == syspath; }))
        return;
    unserved_.gone(syspath);
    try {
        attach(hidraw);
    } catch (const std::exception& e) {
        logf(LogLevel::error, "%s: not attached: %s", udev_device_get_devnode(hidraw), e.what());
    }
}

void HardwareWatch::noteUnserved(udev_device* hidraw) {
    udev_device* hid = hidParent(hidraw);
    if (hid == nullptr)
        return;
    // The kernel's copy of the report descriptor, at most the largest one it takes.
    constexpr std::streamsize kMaxDescriptorBytes = 4096;
    std::ifstream file(std::string(udev_device_get_syspath(hid)) + "/report_descriptor", std::ios::binary);
    std::vector<uint8_t> descriptor(kMaxDescriptorBytes);
    file.read(reinterpret_cast<char*>(descriptor.data()), kMaxDescriptorBytes);
    descriptor.resize(static_cast<size_t>(file.gcount()));
    UnservedDevice device;
    device.summary = PointingSummary::of(descriptor);
    unsigned bus = 0, vendor = 0, product = 0;
    if (!device.summary.pointing || std::sscanf(textOr(udev_device_get_property_value(hid, "HID_ID")).c_str(),
                                                "%x:%x:%x", &bus, &vendor, &product) != 3)
        return;
    device.syspath = udev_device_get_syspath(hidraw);
    device.bus = static_cast<uint16_t>(bus);
    device.vendor = static_cast<uint16_t>(vendor);
    device.product = static_cast<uint16_t>(product);
    device.serial = textOr(udev_device_get_property_value(hid, "HID_UNIQ"));
    device.name = textOr(udev_device_get_property_value(hid, "HID_NAME"));
    logf(LogLevel::info, "%s: pointing device %04x:%04x \"%s\" not served (not listed): %s",
         udev_device_get_devnode(hidraw), device.vendor, device.product, device.name.c_str(),
         device.summary.describe().c_str());
    unserved_.present(device);
}

void HardwareWatch::attach(udev_device* hidraw) {
    auto entry = std::make_unique<Attached>();
    entry->syspath = udev_device_get_syspath(hidraw);
    udev_device* hid = hidParent(hidraw);
    if (hid == nullptr)
        throw std::runtime_error("no HID device above it");
    entry->hidSyspath = udev_device_get_syspath(hid);

    uint16_t version = 0;
    forEachChild(udev_, hid, "input", [&](udev_device* input) {
        if (const char* text = udev_device_get_sysattr_value(input, "id/version"))
            version = static_cast<uint16_t>(std::strtoul(text, nullptr, 16));
        if (isEventNode(input))
            entry->grabs.grab(udev_device_get_devnode(input));
    });
    // A USB device's own strings, where there are any; the node's texts otherwise.
    HidrawTexts texts;
    if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(hidraw, "usb", "usb_device")) {
        texts.product = textOr(udev_device_get_sysattr_value(usb, "product"));
        texts.serial = textOr(udev_device_get_sysattr_value(usb, "serial"));
    }
    auto source = std::make_unique<HidrawSource>(loop_, udev_device_get_devnode(hidraw), version, texts);
    // Refused before its mouse is made, so that no mouse comes and goes for a device that cannot start.
    if (const PointingSummary summary = PointingSummary::of(source->identity().descriptor);
        !summary.unservable.empty())
        throw std::runtime_error(summary.unservable);
    const uint16_t productId = source->identity().productId;
    entry->vendor = source->vendorId();
    entry->product = productId;
    entry->serial = textOr(udev_device_get_property_value(hid, "HID_UNIQ"));
    UinputIdentity mouse{source->productName().empty() ? "Trackball" : source->productName(),
                         source->vendorId(), productId, version};
    auto sink = std::make_unique<UinputMouseSink>(mouse);
    const std::string mouseNode = sink->devnode();
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
    forEachChild(udev_, nullptr, "hidraw", [&](udev_device* hidraw) { arrived(hidraw); });
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
        if (DevicePtr hidraw{udev_device_new_from_syspath(udev_, syspath.c_str())})
            noteUnserved(hidraw.get());
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

void HardwareWatch::inputArrived(udev_device* input) {
    udev_device* hid = isEventNode(input) ? hidParent(input) : nullptr;
    if (hid == nullptr)
        return;
    const std::string hidSyspath = udev_device_get_syspath(hid);
    for (const auto& entry : attached_) {
        if (entry->hidSyspath == hidSyspath)
            entry->grabs.grab(udev_device_get_devnode(input));
    }
}

void HardwareWatch::onEvents(uint32_t) {
    for (int i = 0; i < kEventsPerRound; ++i) {
        DevicePtr device(udev_monitor_receive_device(monitor_));
        if (!device)
            return;
        const std::string action = textOr(udev_device_get_action(device.get()));
        const std::string subsystem = textOr(udev_device_get_subsystem(device.get()));
        if (subsystem == "hidraw" && action == "add")
            arrived(device.get());
        else if (subsystem == "hidraw" && action == "remove")
            departed(textOr(udev_device_get_syspath(device.get())));
        else if (subsystem == "input" && action == "add")
            inputArrived(device.get());
    }
}

} // namespace obx::kernd
