#include "HidrawSource.h"

#include "../Log.h"
#include "../Utf16.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace obx::kernd {

namespace {

// Reports taken per readiness report: the whole of hidraw's queue for one reader (64 reports), so that
// a round that comes late still finds every report the kernel kept; a device that sends faster than
// that is taken again in the next round, after the other devices and the timers.
constexpr int kReportsPerRound = 64;

[[noreturn]] void fail(const std::string& devnode, const char* what) {
    throw std::runtime_error(devnode + ": " + what + ": " + std::strerror(errno));
}

// A text ioctl of hidraw (name, uniq): at most the buffer, not always terminated.
std::string textOf(int fd, unsigned long request) {
    char text[256] = {};
    const int length = ::ioctl(fd, request, text);
    if (length <= 0)
        return {};
    return std::string(text, strnlen(text, sizeof text));
}

} // namespace

std::unique_ptr<HidrawSource> HidrawSource::open(EventLoop& loop, std::string devnode, uint16_t version,
                                                 const HidrawTexts& texts) {
    UniqueFd fd(::open(devnode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        fail(devnode, "open");
    hidraw_devinfo info{};
    if (::ioctl(fd.get(), HIDIOCGRAWINFO, &info) != 0)
        fail(devnode, "HIDIOCGRAWINFO");
    int descriptorSize = 0;
    if (::ioctl(fd.get(), HIDIOCGRDESCSIZE, &descriptorSize) != 0)
        fail(devnode, "HIDIOCGRDESCSIZE");
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<uint32_t>(descriptorSize);
    if (descriptorSize <= 0 || descriptorSize > HID_MAX_DESCRIPTOR_SIZE ||
        ::ioctl(fd.get(), HIDIOCGRDESC, &descriptor) != 0)
        fail(devnode, "HIDIOCGRDESC");
    HidIdentity identity;
    identity.productId = static_cast<uint16_t>(info.product);
    identity.versionNumber = version;
    identity.descriptor.assign(descriptor.value, descriptor.value + descriptor.size);
    std::string productName = texts.product.empty() ? textOf(fd.get(), HIDIOCGRAWNAME(256)) : texts.product;
    identity.product = utf16FromUtf8(productName);
    identity.serialNumber =
        utf16FromUtf8(texts.serial.empty() ? textOf(fd.get(), HIDIOCGRAWUNIQ(256)) : texts.serial);
    return std::make_unique<HidrawSource>(loop, std::move(devnode), std::move(fd), std::move(identity),
                                          static_cast<uint16_t>(info.vendor), std::move(productName));
}

HidrawSource::HidrawSource(EventLoop& loop, std::string devnode, UniqueFd fd, HidIdentity identity,
                           uint16_t vendorId, std::string productName)
    : loop_(loop), devnode_(std::move(devnode)), fd_(std::move(fd)), identity_(std::move(identity)),
      vendorId_(vendorId), productName_(std::move(productName)) {
    loop_.add(fd_.get(), EPOLLIN, *this);
    reading_ = true;
}

HidrawSource::~HidrawSource() {
    if (reading_)
        loop_.remove(fd_.get());
}

void HidrawSource::onEvents(uint32_t events) {
    for (int i = 0; i < kReportsPerRound; ++i) {
        const ssize_t length = ::read(fd_.get(), report_.data(), report_.size());
        if (length > 0) {
            if (sink_ != nullptr)
                sink_->onReport(std::span(report_.data(), static_cast<size_t>(length)));
            continue;
        }
        if (length < 0 && errno == EINTR)
            continue;
        if (length < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (events & (EPOLLHUP | EPOLLERR))
                stopReading("the device hung up");
            return;
        }
        stopReading(length == 0 ? "end of file" : std::strerror(errno));
        return;
    }
}

bool HidrawSource::getFeature(std::span<uint8_t> report) {
    const int length = ::ioctl(fd_.get(), HIDIOCGFEATURE(report.size()), report.data());
    if (length <= 0) {
        logf(LogLevel::warning, "%s: feature report %u: %s", devnode_.c_str(), unsigned{report[0]},
             length < 0 ? std::strerror(errno) : "empty");
        return false;
    }
    return true;
}

// The device's removal notice ends the trackball; until then the node must not wake the loop again.
void HidrawSource::stopReading(const char* why) {
    if (!reading_)
        return;
    loop_.remove(fd_.get());
    reading_ = false;
    logf(LogLevel::info, "%s: reading stopped: %s", devnode_.c_str(), why);
}

} // namespace obx::kernd
