#include "GuestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/uhid.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace obx::guest {

namespace {
int failures = 0;
} // namespace

void check(bool ok, const char* what, const std::string& detail) {
    if (!ok)
        ++failures;
    std::printf("obx-guest: %s %s%s%s\n", ok ? "ok" : "FAIL", what, detail.empty() ? "" : ": ",
                detail.c_str());
    std::fflush(stdout);
}

bool allPassed() {
    return failures == 0;
}

int64_t monotonicMicros() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

int64_t eventMicros(const input_event& event) {
    return int64_t(event.input_event_sec) * 1000000 + event.input_event_usec;
}

Uhid::Uhid() : fd_(::open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK)) {
    if (fd_)
        answers_ = std::thread([this] { answerRequests(); });
}

Uhid::~Uhid() {
    stop_ = true;
    if (answers_.joinable())
        answers_.join();
}

bool Uhid::create(const std::string& name, uint16_t vendor, uint16_t product,
                  std::span<const uint8_t> descriptor, uint16_t bus) {
    uhid_event event{};
    event.type = UHID_CREATE2;
    auto& c = event.u.create2;
    std::snprintf(reinterpret_cast<char*>(c.name), sizeof c.name, "%s", name.c_str());
    std::snprintf(reinterpret_cast<char*>(c.uniq), sizeof c.uniq, "GUEST-1");
    if (descriptor.size() > sizeof c.rd_data)
        return false;
    std::copy(descriptor.begin(), descriptor.end(), c.rd_data);
    c.rd_size = static_cast<uint16_t>(descriptor.size());
    c.bus = bus;
    c.vendor = vendor;
    c.product = product;
    c.version = 0x0203;
    return write(event);
}

bool Uhid::report(std::span<const uint8_t> bytes) {
    uhid_event event{};
    event.type = UHID_INPUT2;
    if (bytes.size() > sizeof event.u.input2.data)
        return false;
    event.u.input2.size = static_cast<uint16_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), event.u.input2.data);
    return write(event);
}

bool Uhid::destroy() {
    uhid_event event{};
    event.type = UHID_DESTROY;
    {
        std::lock_guard guard(featuresLock_);
        features_.clear();
    }
    // Not under the lock: the kernel may still wait for an answer to a request while it removes the
    // device.
    return write(event);
}

bool Uhid::write(const uhid_event& event) {
    return ::write(fd_.get(), &event, sizeof event) == sizeof event;
}

void Uhid::answerRequests() {
    while (!stop_) {
        pollfd p{fd_.get(), POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        uhid_event request{};
        if (::read(fd_.get(), &request, sizeof request) <= 0)
            continue;
        uhid_event answer{};
        if (request.type == UHID_SET_REPORT) {
            const auto& set = request.u.set_report;
            {
                std::lock_guard guard(featuresLock_);
                features_[set.rnum].assign(set.data, set.data + std::min<size_t>(set.size, sizeof set.data));
            }
            answer.type = UHID_SET_REPORT_REPLY;
            answer.u.set_report_reply.id = set.id;
            write(answer);
        } else if (request.type == UHID_GET_REPORT) {
            const auto& get = request.u.get_report;
            answer.type = UHID_GET_REPORT_REPLY;
            auto& reply = answer.u.get_report_reply;
            reply.id = get.id;
            std::lock_guard guard(featuresLock_);
            const auto it = features_.find(get.rnum);
            // A report never set: the device's own state after reset, all zero, report id first.
            std::vector<uint8_t> data = it != features_.end() ? it->second : std::vector<uint8_t>(64, 0);
            if (it == features_.end() && get.rnum != 0)
                data[0] = get.rnum;
            reply.size = static_cast<uint16_t>(std::min(data.size(), sizeof reply.data));
            std::copy_n(data.begin(), reply.size, reply.data);
            write(answer);
        }
    }
}

EvdevReader::EvdevReader(const std::string& node)
    : fd_(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    int clock = CLOCK_MONOTONIC;
    if (fd_)
        ::ioctl(fd_.get(), EVIOCSCLOCKID, &clock);
}

std::vector<input_event> EvdevReader::nextReport(std::chrono::milliseconds limit) {
    std::vector<input_event> events;
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        input_event event{};
        const ssize_t n = ::read(fd_.get(), &event, sizeof event);
        if (n == sizeof event) {
            events.push_back(event);
            if (event.type == EV_SYN && event.code == SYN_REPORT)
                return events;
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd p{fd_.get(), POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
}

std::vector<input_event> EvdevReader::available() {
    std::vector<input_event> events;
    input_event event{};
    while (::read(fd_.get(), &event, sizeof event) == sizeof event)
        events.push_back(event);
    return events;
}

bool EvdevReader::quietFor(std::chrono::milliseconds limit) {
    pollfd p{fd_.get(), POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(limit.count())) == 0;
}

std::string readText(const std::string& file) {
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    return text;
}

std::optional<std::string> eventNodeNamed(const std::string& name, bool uinputDevice) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/input", error)) {
        const std::string sysname = entry.path().filename().string();
        if (!sysname.starts_with("event") || readText(entry.path() / "device" / "name") != name)
            continue;
        const bool isUinput = std::filesystem::canonical(entry.path(), error)
                                  .string()
                                  .starts_with("/sys/devices/virtual/input/");
        if (isUinput == uinputDevice)
            return "/dev/input/" + sysname;
    }
    return std::nullopt;
}

bool hasEvent(const std::vector<input_event>& events, uint16_t type, uint16_t code, int32_t value) {
    return std::any_of(events.begin(), events.end(), [&](const input_event& e) {
        return e.type == type && e.code == code && e.value == value;
    });
}

std::string describe(const std::vector<input_event>& events) {
    std::string text;
    for (const auto& e : events)
        text += std::to_string(e.type) + ":" + std::to_string(e.code) + ":" + std::to_string(e.value) + " ";
    return text.empty() ? "(nothing)" : text;
}

} // namespace obx::guest
