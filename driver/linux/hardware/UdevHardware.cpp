#include "../Log.h"
#include "EvdevGrab.h"
#include "Hardware.h"

#include <cstdlib>
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

std::string textOr(const char* text) {
    return text != nullptr ? text : "";
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

HidrawDevice describe(udev_device* hidraw) {
    HidrawDevice device;
    device.syspath = textOr(udev_device_get_syspath(hidraw));
    device.devnode = textOr(udev_device_get_devnode(hidraw));
    if (udev_device* hid = hidParent(hidraw)) {
        device.hidSyspath = textOr(udev_device_get_syspath(hid));
        device.hidId = textOr(udev_device_get_property_value(hid, "HID_ID"));
        device.name = textOr(udev_device_get_property_value(hid, "HID_NAME"));
        device.serial = textOr(udev_device_get_property_value(hid, "HID_UNIQ"));
    }
    if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(hidraw, "usb", "usb_device")) {
        device.usbTexts.product = textOr(udev_device_get_sysattr_value(usb, "product"));
        device.usbTexts.serial = textOr(udev_device_get_sysattr_value(usb, "serial"));
    }
    return device;
}

class UdevHardware final : public Hardware, private IEventHandler {
public:
    UdevHardware() : udev_(udev_new()) {
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
        logf(LogLevel::debug, "following %s device notices", udevd ? "udev" : "kernel");
    }

    ~UdevHardware() override {
        if (loop_ != nullptr)
            loop_->remove(udev_monitor_get_fd(monitor_));
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
    }

    UdevHardware(const UdevHardware&) = delete;
    UdevHardware& operator=(const UdevHardware&) = delete;

    void watch(EventLoop& loop, IHardwareEvents& events) override {
        loop_ = &loop;
        events_ = &events;
        loop.add(udev_monitor_get_fd(monitor_), EPOLLIN, *this);
    }

    std::vector<HidrawDevice> present() override {
        std::vector<HidrawDevice> devices;
        forEachChild(udev_, nullptr, "hidraw",
                     [&](udev_device* hidraw) { devices.push_back(describe(hidraw)); });
        return devices;
    }

    std::optional<HidrawDevice> find(const std::string& syspath) override {
        if (DevicePtr hidraw{udev_device_new_from_syspath(udev_, syspath.c_str())})
            return describe(hidraw.get());
        return std::nullopt;
    }

    HidInputs inputsOf(const std::string& hidSyspath) override {
        HidInputs inputs;
        DevicePtr hid(udev_device_new_from_syspath(udev_, hidSyspath.c_str()));
        if (!hid)
            return inputs;
        forEachChild(udev_, hid.get(), "input", [&](udev_device* input) {
            if (const char* text = udev_device_get_sysattr_value(input, "id/version"))
                inputs.version = static_cast<uint16_t>(std::strtoul(text, nullptr, 16));
            if (isEventNode(input))
                inputs.eventNodes.emplace_back(udev_device_get_devnode(input));
        });
        return inputs;
    }

    std::unique_ptr<HidrawSource> open(EventLoop& loop, const HidrawDevice& device,
                                       uint16_t version) override {
        return HidrawSource::open(loop, device.devnode, version, device.usbTexts);
    }

    UniqueFd grab(const std::string& eventNode) override { return grabEvdevNode(eventNode); }

    std::unique_ptr<MouseSink> mouse(EventLoop&, const HidrawDevice&, const UinputIdentity& identity,
                                     std::string& devnode) override {
        auto sink = std::make_unique<UinputMouseSink>(identity);
        devnode = sink->devnode();
        return sink;
    }

private:
    void onEvents(uint32_t) override {
        for (int i = 0; i < kEventsPerRound; ++i) {
            DevicePtr device(udev_monitor_receive_device(monitor_));
            if (!device)
                return;
            const std::string action = textOr(udev_device_get_action(device.get()));
            const std::string subsystem = textOr(udev_device_get_subsystem(device.get()));
            if (subsystem == "hidraw" && action == "add") {
                events_->arrived(describe(device.get()));
            } else if (subsystem == "hidraw" && action == "remove") {
                events_->departed(textOr(udev_device_get_syspath(device.get())));
            } else if (subsystem == "input" && action == "add" && isEventNode(device.get())) {
                if (udev_device* hid = hidParent(device.get()))
                    events_->inputArrived(udev_device_get_syspath(hid),
                                          udev_device_get_devnode(device.get()));
            }
        }
    }

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    EventLoop* loop_ = nullptr;
    IHardwareEvents* events_ = nullptr;
};

} // namespace

std::unique_ptr<Hardware> makeUdevHardware() {
    return std::make_unique<UdevHardware>();
}

} // namespace obx::kernd
