#include "../Log.h"
#include "../SeqPacketSocket.h"
#include "../Utf16.h"
#include "../virtual/VirtualMouseSink.h"
#include "Hardware.h"
#include "driver/hid/ReportDescriptorParser.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace obx::kernd {

namespace {

constexpr uint32_t kArrivals = IN_CREATE | IN_MOVED_TO;
constexpr uint32_t kDepartures = IN_DELETE | IN_MOVED_FROM;
// Calls `visit` with every entry of `folder`; one that goes meanwhile ends the listing, never the daemon.
template <typename Visit>
void forEachEntry(const std::filesystem::path& folder, Visit visit) {
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        visit(entry->path());
}

// What the stand-in's files may hold: a uevent of the kernel is at most a page.
constexpr std::streamsize kMaxUeventBytes = 4096;
// At most as many devices as the watch lists and serves together.
constexpr size_t kMaxDevices = 128;

// The value of `key` in a uevent file's KEY=VALUE lines; empty when it has none.
std::string ueventValue(const std::string& uevent, const std::string& key) {
    size_t at = 0;
    while (at < uevent.size()) {
        const size_t end = std::min(uevent.find('\n', at), uevent.size());
        const std::string_view line(uevent.data() + at, end - at);
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
            return std::string(line.substr(key.size() + 1));
        at = end + 1;
    }
    return {};
}

class FolderHardware final : public Hardware, private IEventHandler {
public:
    explicit FolderHardware(std::filesystem::path root)
        : root_(std::move(root)), inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (!inotify_ ||
            ::inotify_add_watch(inotify_.get(), root_.c_str(), kArrivals | kDepartures | IN_ONLYDIR) < 0)
            throw std::runtime_error(root_.string() + ": cannot be watched: " + std::strerror(errno));
        logf(LogLevel::info, "hidraw devices are the folders of %s, not the system's", root_.c_str());
    }

    ~FolderHardware() override {
        if (loop_ != nullptr)
            loop_->remove(inotify_.get());
    }

    FolderHardware(const FolderHardware&) = delete;
    FolderHardware& operator=(const FolderHardware&) = delete;

    void watch(EventLoop& loop, IHardwareEvents& events) override {
        loop_ = &loop;
        events_ = &events;
        loop.add(inotify_.get(), EPOLLIN, *this);
    }

    std::vector<HidrawDevice> present() override {
        std::vector<HidrawDevice> devices;
        forEachEntry(root_, [&](const std::filesystem::path& path) {
            if (devices.size() < kMaxDevices)
                if (auto device = find(path.string()))
                    devices.push_back(std::move(*device));
        });
        return devices;
    }

    std::optional<HidrawDevice> find(const std::string& syspath) override {
        std::error_code error;
        if (!std::filesystem::is_directory(syspath, error))
            return std::nullopt;
        std::ifstream file(syspath + "/uevent");
        std::string uevent(kMaxUeventBytes, '\0');
        file.read(uevent.data(), kMaxUeventBytes);
        uevent.resize(static_cast<size_t>(file.gcount()));
        HidrawDevice device;
        device.syspath = syspath;
        device.devnode = syspath + "/hidraw";
        device.hidSyspath = syspath;
        device.hidId = ueventValue(uevent, "HID_ID");
        device.name = ueventValue(uevent, "HID_NAME");
        device.serial = ueventValue(uevent, "HID_UNIQ");
        return device;
    }

    // The version is not represented: the folder has no input device's `id/version`.
    HidInputs inputsOf(const std::string& hidSyspath) override {
        HidInputs inputs;
        forEachEntry(hidSyspath, [&](const std::filesystem::path& path) {
            if (path.filename().string().starts_with("event") && inputs.eventNodes.size() < kMaxDevices)
                inputs.eventNodes.push_back(path.string());
        });
        return inputs;
    }

    std::unique_ptr<HidrawSource> open(EventLoop& loop, const HidrawDevice& device,
                                       uint16_t version) override {
        unsigned bus = 0, vendor = 0, product = 0;
        if (std::sscanf(device.hidId.c_str(), "%x:%x:%x", &bus, &vendor, &product) != 3)
            throw std::runtime_error(device.devnode + ": no HID_ID");
        UniqueFd fd = connectSeqPacket(device.devnode);
        if (!fd)
            throw std::runtime_error(device.devnode + ": open: " + std::strerror(errno));
        HidIdentity identity;
        identity.productId = static_cast<uint16_t>(product);
        identity.versionNumber = version;
        identity.descriptor = reportDescriptor(device, hid::ReportDescriptorParser::kMaxDescriptorBytes);
        if (identity.descriptor.empty())
            throw std::runtime_error(device.devnode + ": no report descriptor");
        identity.product = utf16FromUtf8(device.name);
        identity.serialNumber = utf16FromUtf8(device.serial);
        return std::make_unique<HidrawSource>(loop, device.devnode, std::move(fd), std::move(identity),
                                              static_cast<uint16_t>(vendor), device.name);
    }

    // The grab is the connection to the node's socket: the stand-in sees it come and go.
    UniqueFd grab(const std::string& eventNode) override { return connectSeqPacket(eventNode); }

    std::unique_ptr<MouseSink> mouse(EventLoop& loop, const HidrawDevice& device, const UinputIdentity&,
                                     std::string& devnode) override {
        devnode = (root_ / ("mouse-" + std::filesystem::path(device.syspath).filename().string())).string();
        return std::make_unique<VirtualMouseSink>(loop, devnode);
    }

private:
    void onEvents(uint32_t) override {
        alignas(inotify_event) std::array<char, 16 * (sizeof(inotify_event) + NAME_MAX + 1)> buffer;
        const ssize_t length = ::read(inotify_.get(), buffer.data(), buffer.size());
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->len == 0 || (event->mask & IN_ISDIR) == 0)
                continue;
            const std::string syspath = (root_ / event->name).string();
            if (event->mask & kDepartures) {
                events_->departed(syspath);
            } else if (auto device = find(syspath)) {
                events_->arrived(*device);
            }
        }
    }

    std::filesystem::path root_;
    UniqueFd inotify_;
    EventLoop* loop_ = nullptr;
    IHardwareEvents* events_ = nullptr;
};

} // namespace

std::unique_ptr<Hardware> makeFolderHardware(const std::filesystem::path& root) {
    return std::make_unique<FolderHardware>(root);
}

} // namespace obx::kernd
